// make-template <file>: writes the report template of the spreadsheet export. The sheet "Test" holds the
// static labels and the three profile blocks, each with its data row, one spare data row (the row the
// export copies and finally deletes) and its footer rows; the hidden sheet "Proto" holds the chart area
// that the export lays out once per chart page. Row numbers here are the template's, before the export
// inserts the data rows.
#include <xlsxwriter.h>

#include <cstdio>
#include <string>

namespace {

// Template rows (1-based) of the three blocks' first data rows; each block: title 3 rows above, two
// header rows, data row, spare row, footer.
constexpr int kBlockStart[3] = {31, 45, 59};
constexpr int kFooterRows[3] = {8, 8, 6};
constexpr int kChartTitleRow = 69;
constexpr int kPictureLabelRow = 10;

const char* const kBlockTitles[3] = {"Профиль ППП (передний план)",
                                     "Профиль ЭКП (экспериментальный комплементарный)",
                                     "Профиль ТКП (теоретический комплементарный)"};
const char* const kVectorNames[4] = {"S", "P", "Sch", "C"};
const char* const kFactorNames[8] = {"h", "s", "e", "hy", "k", "p", "d", "m"};
const char* const kFooterLabels[8] = {"Sum 0", "Sum ±", "СНТ", "РВН", "Dur", "Moll", "Soz+", "Soz-"};
const char* const kTkpFooterLabels[6] = {"Sum 0", "Sum ±", "СНТ", "РВН", "Soz+", "Soz-"};

constexpr lxw_color_t kHeaderFill = 0xD9D9D9;
constexpr lxw_color_t kFooterFill = 0xEFEFEF;
constexpr lxw_color_t kTitleColor = 0x1F3864;

struct Formats {
    lxw_format* title;
    lxw_format* subtitle;
    lxw_format* label;
    lxw_format* fio;
    lxw_format* group;
    lxw_format* sex;
    lxw_format* age;
    lxw_format* header;
    lxw_format* cell;
    lxw_format* footer;
    lxw_format* footerLabel;
    lxw_format* chartTitle;
    lxw_format* bar;
    lxw_format* barMiddle; // the bar cells of the last plus row: a heavier line to the minus half
    lxw_format* red;
    lxw_format* blue;
};

lxw_format* framed(lxw_workbook* wb, bool bold, lxw_color_t fill) {
    lxw_format* f = workbook_add_format(wb);
    format_set_font_name(f, "Arial");
    format_set_font_size(f, 9);
    if (bold)
        format_set_bold(f);
    format_set_border(f, LXW_BORDER_THIN);
    format_set_align(f, LXW_ALIGN_CENTER);
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    format_set_text_wrap(f);
    if (fill != LXW_COLOR_UNSET)
        format_set_bg_color(f, fill);
    return f;
}

lxw_format* particulars(lxw_workbook* wb, const char* numFormat) {
    lxw_format* f = workbook_add_format(wb);
    format_set_font_name(f, "Arial");
    format_set_font_size(f, 10);
    format_set_num_format(f, numFormat);
    return f;
}

Formats makeFormats(lxw_workbook* wb) {
    Formats f{};
    f.title = workbook_add_format(wb);
    format_set_font_name(f.title, "Arial");
    format_set_font_size(f.title, 16);
    format_set_bold(f.title);
    format_set_font_color(f.title, kTitleColor);
    f.subtitle = workbook_add_format(wb);
    format_set_font_name(f.subtitle, "Arial");
    format_set_font_size(f.subtitle, 11);
    format_set_bold(f.subtitle);
    format_set_font_color(f.subtitle, kTitleColor);
    f.label = workbook_add_format(wb);
    format_set_font_name(f.label, "Arial");
    format_set_font_size(f.label, 10);
    format_set_bold(f.label);
    // The particulars carry their labels in the number format, so the program writes bare values into B5–B8.
    f.fio = particulars(wb, "\"Фамилия, имя, отчество:  \"@");
    f.group = particulars(wb, "\"Группа:  \"@");
    f.sex = particulars(wb, "\"Пол:  \"@");
    f.age = particulars(wb, "\"Возраст:  \"@");
    f.header = framed(wb, true, kHeaderFill);
    f.cell = framed(wb, false, LXW_COLOR_UNSET);
    f.footer = framed(wb, true, kFooterFill);
    f.footerLabel = framed(wb, true, kHeaderFill);
    f.chartTitle = workbook_add_format(wb);
    format_set_font_name(f.chartTitle, "Arial");
    format_set_font_size(f.chartTitle, 10);
    format_set_bold(f.chartTitle);
    format_set_align(f.chartTitle, LXW_ALIGN_CENTER);
    f.bar = framed(wb, false, LXW_COLOR_UNSET);
    f.barMiddle = framed(wb, false, LXW_COLOR_UNSET);
    format_set_bottom(f.barMiddle, LXW_BORDER_MEDIUM);
    f.red = workbook_add_format(wb);
    format_set_bg_color(f.red, 0xFF0000);
    f.blue = workbook_add_format(wb);
    format_set_bg_color(f.blue, 0x0000FF);
    return f;
}

// Columns (0-based for libxlsxwriter): A margin, B "№", C–E date, F–M factors, N–O, P–Q, R–S the sums, T
// indices.
void setColumns(lxw_worksheet* ws) {
    worksheet_set_column(ws, 0, 0, 1.5, nullptr);
    worksheet_set_column(ws, 1, 1, 4.5, nullptr);
    worksheet_set_column(ws, 2, 4, 3.8, nullptr);
    worksheet_set_column(ws, 5, 12, 6.2, nullptr);
    worksheet_set_column(ws, 13, 18, 3.6, nullptr);
    worksheet_set_column(ws, 19, 19, 14, nullptr);
}

void tableRow(lxw_worksheet* ws, const Formats& f, int r) {
    worksheet_write_blank(ws, r, 1, f.cell);
    worksheet_merge_range(ws, r, 2, r, 4, "", f.cell);
    for (int c = 5; c <= 12; ++c)
        worksheet_write_blank(ws, r, c, f.cell);
    worksheet_merge_range(ws, r, 13, r, 14, "", f.cell);
    worksheet_merge_range(ws, r, 15, r, 16, "", f.cell);
    worksheet_merge_range(ws, r, 17, r, 18, "", f.cell);
    worksheet_write_blank(ws, r, 19, f.cell);
}

void block(lxw_worksheet* ws, const Formats& f, int b) {
    const int s = kBlockStart[b] - 1; // 0-based first data row
    worksheet_write_string(ws, s - 3, 1, kBlockTitles[b], f.subtitle);
    const int h1 = s - 2, h2 = s - 1;
    worksheet_merge_range(ws, h1, 1, h2, 1, "№", f.header);
    worksheet_merge_range(ws, h1, 2, h2, 4, "Дата", f.header);
    for (int v = 0; v < 4; ++v)
        worksheet_merge_range(ws, h1, 5 + 2 * v, h1, 6 + 2 * v, kVectorNames[v], f.header);
    for (int k = 0; k < 8; ++k)
        worksheet_write_string(ws, h2, 5 + k, kFactorNames[k], f.header);
    worksheet_merge_range(ws, h1, 13, h2, 14, "Sum 0", f.header);
    worksheet_merge_range(ws, h1, 15, h2, 16, "Sum ±", f.header);
    worksheet_merge_range(ws, h1, 17, h2, 18, "СНТ", f.header);
    worksheet_merge_range(ws, h1, 19, h2, 19, "Примечание", f.header);
    tableRow(ws, f, s);
    tableRow(ws, f, s + 1);

    const int base = s + 2;
    const int rows = kFooterRows[b];
    for (int r = 0; r < rows; ++r) {
        const int row = base + r;
        worksheet_merge_range(ws, row, 1, row, 4, rows == 8 ? kFooterLabels[r] : kTkpFooterLabels[r],
                              f.footerLabel);
        if (r == 3) { // РВН: one area per vector
            for (int v = 0; v < 4; ++v)
                worksheet_merge_range(ws, row, 5 + 2 * v, row, 6 + 2 * v, "", f.footer);
        } else if (r < 3) {
            for (int c = 5; c <= 12; ++c)
                worksheet_write_blank(ws, row, c, f.footer);
        } else if (r % 2 == 0) { // first row of a balance pair: counts and the percentage over both rows
            for (int v = 0; v < 4; ++v) {
                worksheet_write_blank(ws, row, 5 + 2 * v, f.footer);
                worksheet_write_blank(ws, row + 1, 5 + 2 * v, f.footer);
                worksheet_merge_range(ws, row, 6 + 2 * v, row + 1, 6 + 2 * v, "", f.footer);
            }
        }
        worksheet_merge_range(ws, row, 13, row, 18, "", f.footer);
    }
    // Column T: "TspQu=" over rows 0–1, "Sy%=" in row 2, the balance percentages over each pair.
    worksheet_merge_range(ws, base, 19, base + 1, 19, "", f.footer);
    worksheet_write_blank(ws, base + 2, 19, f.footer);
    worksheet_write_blank(ws, base + 3, 19, f.footer);
    for (int r = 4; r < rows; r += 2)
        worksheet_merge_range(ws, base + r, 19, base + r + 1, 19, "", f.footer);
}

void testSheet(lxw_worksheet* ws, const Formats& f) {
    setColumns(ws);
    worksheet_set_paper(ws, 9); // A4
    worksheet_set_margins(ws, 0.5, 0.4, 0.6, 0.6);
    worksheet_fit_to_pages(ws, 1, 0);
    worksheet_center_horizontally(ws);
    worksheet_write_string(ws, 1, 1, "Результаты тестирования", f.title);
    worksheet_write_string(ws, 3, 1, "Информация о тестируемом", f.subtitle);
    worksheet_write_blank(ws, 4, 1, f.fio);
    worksheet_write_blank(ws, 5, 1, f.group);
    worksheet_write_blank(ws, 6, 1, f.sex);
    worksheet_write_blank(ws, 7, 1, f.age);
    worksheet_write_string(ws, kPictureLabelRow - 1, 1, "Формулы:", f.label);
    for (int b = 0; b < 3; ++b)
        block(ws, f, b);
    worksheet_write_string(ws, kChartTitleRow - 1, 1, "Профили по тестам", f.subtitle);
}

// The chart area the export copies: row 1 stays free for the page caption, row 2 the title, rows 3–4
// the vector and factor names, rows 5–16 the bars (5–10 the plus half, 11–16 the minus half).
void protoSheet(lxw_worksheet* ws, const Formats& f) {
    worksheet_set_column(ws, 0, 7, 6.2, nullptr);
    worksheet_merge_range(ws, 1, 0, 1, 7, "", f.chartTitle);
    for (int v = 0; v < 4; ++v)
        worksheet_merge_range(ws, 2, 2 * v, 2, 2 * v + 1, kVectorNames[v], f.header);
    for (int k = 0; k < 8; ++k)
        worksheet_write_string(ws, 3, k, kFactorNames[k], f.header);
    for (int r = 4; r < 16; ++r)
        for (int c = 0; c < 8; ++c)
            worksheet_write_blank(ws, r, c, r == 9 ? f.barMiddle : f.bar);

    lxw_conditional_format plus{};
    plus.type = LXW_CONDITIONAL_TYPE_CELL;
    plus.criteria = LXW_CONDITIONAL_CRITERIA_EQUAL_TO;
    std::string one = "\" \"";
    plus.value_string = one.data();
    plus.format = f.red;
    worksheet_conditional_format_range(ws, 4, 0, 15, 7, &plus);
    lxw_conditional_format minus{};
    minus.type = LXW_CONDITIONAL_TYPE_CELL;
    minus.criteria = LXW_CONDITIONAL_CRITERIA_EQUAL_TO;
    std::string two = "\"  \"";
    minus.value_string = two.data();
    minus.format = f.blue;
    worksheet_conditional_format_range(ws, 4, 0, 15, 7, &minus);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-template <file.xlsx>\n");
        return 2;
    }
    lxw_workbook* wb = workbook_new(argv[1]);
    if (!wb)
        return 1;
    // A fixed creation time (2026-01-01): the template is the same file whenever it is built, and so are
    // the reports made from it.
    lxw_doc_properties properties{};
    properties.created = 1767225600;
    workbook_set_properties(wb, &properties);
    const Formats f = makeFormats(wb);
    lxw_worksheet* test = workbook_add_worksheet(wb, "Test");
    lxw_worksheet* proto = workbook_add_worksheet(wb, "Proto");
    testSheet(test, f);
    protoSheet(proto, f);
    worksheet_activate(test);
    worksheet_hide(proto);
    const lxw_error err = workbook_close(wb);
    if (err != LXW_NO_ERROR) {
        std::fprintf(stderr, "make-template: %s\n", lxw_strerror(err));
        return 1;
    }
    return 0;
}
