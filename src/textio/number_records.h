#pragma once
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace lumera {

class FieldReader;

// Which records follow a data file's header, and where they end.
struct NumberRecordsRule {
    bool serials = false;         // each value follows a serial number, which is not kept
    bool stopAtMinusOne = false;  // a record whose serial number (or value) is -1 ends them, uncounted
    std::int64_t limit = std::numeric_limits<std::int64_t>::max();  // records read at most
    std::int64_t most = std::numeric_limits<std::int64_t>::max();   // one more record than this: give up
};

// Reads the records after the header that `reader` has read, as the field
// reader would read them field by field, but in blocks parsed on two
// threads: the plain layout only, one record a line (blank lines and
// spaces allowed, CR LF or LF). Anything else (a quote, a record over two
// lines, a field that is no number, a very long field, more records than
// `most`) makes it give up and return false, and the caller reads the file
// again with the field reader, which gives the same values or the message.
// Values are appended to x; `blockDone` is told the bytes of the rest read
// so far after each block and may throw to stop. The reader is used up.
// `sum`, when given, receives the sum of the values appended, added one
// after the other from 0 in file order.
bool readNumberRecords(FieldReader& reader, const NumberRecordsRule& rule, std::vector<double>& x,
                       const std::function<void(std::uint64_t)>& blockDone, double* sum = nullptr);

}  // namespace lumera
