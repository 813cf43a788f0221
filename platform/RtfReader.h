// A small reader of rich-text (RTF) files for the read-only text views of the program (the test
// instructions): groups, paragraphs, bold, italic, underline, font sizes, the colour table, alignment
// and indents, code-page-1251 escapes and Unicode escapes. Font tables, style sheets, document
// information and other destinations are skipped; unknown control words are ignored.
#pragma once

#include "platform/ErrorDisplay.h"

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace Platform {

// A rich-text file that cannot be read: missing, unreadable or not RTF at all.
class ERtfError : public EError {
public:
    using EError::EError;
};

// Replaces the content of `document` with the RTF text `rtf`. Throws ERtfError when the data does not
// start with "{\rtf"; `name` names the source in the message.
void ReadRtf(const QByteArray& rtf, QTextDocument& document, const QString& name = QString());

// Reads the RTF file at `path` into `document` (opened, read and closed here). Throws ERtfError.
void LoadRtfFile(const QString& path, QTextDocument& document);

} // namespace Platform
