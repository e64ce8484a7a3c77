#pragma once
#include <string>
#include <string_view>

namespace lumera {

// One record of the write form: fields separated by commas, text in double
// quotes, numbers in the write form, ended by CR LF.
class WriteRecord {
public:
    WriteRecord& text(std::string_view s);
    WriteRecord& number(double v);
    std::string finish() const;

private:
    void separate();
    std::string out_;
};

}  // namespace lumera
