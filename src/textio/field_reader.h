#pragma once
#include <string>
#include <string_view>

namespace lumera {

// Reads a text file as a sequence of fields separated by commas or line
// ends. Spaces (and blank lines) before a field are skipped; a text field is
// either enclosed in double quotes (and may then hold commas) or runs to the
// next comma or line end, its trailing spaces dropped. Errors name the file
// and the field number (counted from 1) in a UserError.
class FieldReader {
public:
    // Reads the whole file; throws UserError (title errorTitle) when it
    // cannot be opened or read.
    static FieldReader fromFile(const std::string& path, const std::string& errorTitle);
    FieldReader(std::string content, std::string fileName, std::string errorTitle);

    std::string readText();
    double readNumber();
    // True when nothing but spaces and line ends is left.
    bool atEnd() const;
    // Number of the field read last (0 before the first).
    long fieldNumber() const { return fieldNumber_; }
    const std::string& fileName() const { return fileName_; }

private:
    std::string_view nextRaw(bool& quoted);

    std::string content_;
    std::string fileName_;
    std::string errorTitle_;
    std::size_t pos_ = 0;
    long fieldNumber_ = 0;
};

}  // namespace lumera
