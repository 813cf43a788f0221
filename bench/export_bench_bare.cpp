// The baseline of export_bench: writes the cells listed in a file ("row<TAB>column<TAB>text" lines,
// zero-based) and a PNG picture at B11 with bare libxlsxwriter, and prints the best time of the rounds in
// milliseconds. A process of its own: libxlsxwriter's zip library and QuaZip's export the same symbols.
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Cell {
    int row, col;
    std::string text;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: export_bench_bare <cells> <png> <out.xlsx> <rounds>\n");
        return 2;
    }
    std::vector<Cell> cells;
    std::ifstream in(argv[1], std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Cell c;
        std::string row, col;
        std::getline(fields, row, '\t');
        std::getline(fields, col, '\t');
        std::getline(fields, c.text);
        c.row = std::atoi(row.c_str());
        c.col = std::atoi(col.c_str());
        cells.push_back(std::move(c));
    }
    std::ifstream pngFile(argv[2], std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(pngFile)), std::istreambuf_iterator<char>());

    double best = std::numeric_limits<double>::max();
    for (int round = 0; round < std::atoi(argv[4]); ++round) {
        const auto start = std::chrono::steady_clock::now();
        lxw_workbook* wb = workbook_new(argv[3]);
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Test");
        for (const Cell& c : cells)
            worksheet_write_string(ws, c.row, c.col, c.text.c_str(), nullptr);
        worksheet_insert_image_buffer(ws, 10, 1, reinterpret_cast<const unsigned char*>(png.data()),
                                      png.size());
        if (workbook_close(wb) != LXW_NO_ERROR)
            return 1;
        best = std::min(
            best,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%.3f\n", best);
    return 0;
}
