// The least a compare of plain files must do: read each file and parse one
// number a line. A baseline for compare_bench, one thread.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    double sum = 0;
    std::size_t count = 0;
    for (int a = 1; a < argc; ++a) {
        std::ifstream in(argv[a], std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<double> values;
        for (const char *p = text.data(), *end = p + text.size(); p < end;) {
            double x = 0;
            const auto r = std::from_chars(p, end, x);
            if (r.ec != std::errc()) return 1;
            values.push_back(x);
            p = r.ptr + 1;
        }
        for (double x : values) sum += x;
        count += values.size();
    }
    std::printf("%zu values, sum %.17g\n", count, sum);
    return 0;
}
