// One fuzzing step of the formula engine, shared by the libFuzzer target and the corpus replay test:
// arbitrary bytes become a formula text, the builder parses it, and the tree is laid out on an image.
#pragma once

#include <QByteArray>
#include <QString>

namespace FormulaFuzz {

// Creates the GUI application the fonts need (offscreen unless a platform is set); idempotent.
void init();
// The bytes as text: UTF-8 when they are valid UTF-8, else code page 1251, so every byte counts.
QString textOf(const QByteArray& bytes);
// Builds the text and draws the tree the way the results window draws a formula line. Answers false
// when the builder refused the text with EIncorrectExpr; any other exception passes through.
bool layOut(const QString& text);

} // namespace FormulaFuzz
