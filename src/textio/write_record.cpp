#include "textio/write_record.h"

#include "textio/number_forms.h"

namespace lumera {

void WriteRecord::separate() {
    if (!out_.empty()) out_ += ',';
}

WriteRecord& WriteRecord::text(std::string_view s) {
    separate();
    out_ += '"';
    out_.append(s);
    out_ += '"';
    return *this;
}

WriteRecord& WriteRecord::number(double v) {
    separate();
    char buf[kMaxNumberText];
    out_.append(buf, writeFormTo(buf, v));
    return *this;
}

std::string WriteRecord::finish() const { return out_ + "\r\n"; }

}  // namespace lumera
