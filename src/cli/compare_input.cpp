#include "cli/compare_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "analysis/parallel_items.h"
#include "textio/field_reader.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"
#include "textio/user_error.h"

namespace lumera::cli {

namespace {

constexpr const char* kTitle = "compare";
constexpr double kEndMarker = -1;
constexpr std::size_t kMaxLine = FieldReader::kMaxField;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw UserError(kTitle, "File: " + path + "\n" + what);
}

// A message about the content, which names the file (and line) itself.
[[noreturn]] void refuse(const std::string& text) { throw UserError(kTitle, text); }

// Lines of a regular file or a pipe, read a block at a time.
class LineReader {
public:
    explicit LineReader(const std::string& path) : path_(path) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) fail(path, std::string("Cannot open the file: ") + std::strerror(errno) + ".");
        struct stat st {};
        if (::fstat(fileno(file_), &st) == 0) regular_ = S_ISREG(st.st_mode);
        if (!regular_ && !S_ISFIFO(st.st_mode)) {
            std::fclose(file_);
            file_ = nullptr;
            fail(path, S_ISDIR(st.st_mode) ? path + " is a folder, not a data file."
                                           : path + " is not a regular file or pipe.");
        }
        // Left unset: a small file touches only the pages it fills.
        buffer_.reset(new char[kBlock]);
    }
    ~LineReader() {
        if (file_) std::fclose(file_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line without its LF (or CR LF); false at the end.
    bool next(std::string_view& line) {
        for (;;) {
            const char* start = buffer_.get() + pos_;
            if (const void* lf = std::memchr(start, '\n', end_ - pos_)) {
                std::size_t length = static_cast<const char*>(lf) - start;
                pos_ += length + 1;
                return take(start, length, line);
            }
            if (eof_) {
                if (pos_ == end_) return false;
                const std::size_t length = end_ - pos_;
                pos_ = end_;
                return take(start, length, line);
            }
            if (end_ - pos_ > kMaxLine) tooLong();
            std::memmove(buffer_.get(), start, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
            const std::size_t got = std::fread(buffer_.get() + end_, 1, kBlock - end_, file_);
            if (got == 0) {
                if (std::ferror(file_)) fail(path_, "Cannot read the file.");
                eof_ = true;
            }
            digest_.update(buffer_.get() + end_, got);
            end_ += got;
        }
    }
    long number() const { return number_; }
    bool regular() const { return regular_; }
    // Of every byte read so far: at the end, of the whole file.
    InputDigest inputDigest(const std::string& file) const {
        Sha256 copy = digest_;
        return {file, copy.bytes(), copy.hexDigest()};
    }

    // Whether the first record holds a comma, read ahead without using
    // anything up. A line end inside double quotes belongs to a quoted name,
    // so it does not end the record.
    bool firstRecordHasComma() {
        while (!eof_ && end_ < kMaxLine + 2) {
            const std::size_t got = std::fread(buffer_.get() + end_, 1, kBlock - end_, file_);
            if (got == 0) {
                if (std::ferror(file_)) fail(path_, "Cannot read the file.");
                eof_ = true;
            }
            digest_.update(buffer_.get() + end_, got);
            end_ += got;
        }
        bool quoted = false;
        for (std::size_t p = pos_; p < end_; ++p) {
            const char c = buffer_[p];
            if (c == '"')
                quoted = !quoted;
            else if (c == ',')
                return true;
            else if ((c == '\n' || c == '\r') && !quoted)
                return false;
        }
        return false;
    }

    // Everything not read yet, for a reader of fields.
    std::string rest() {
        std::string text(buffer_.get() + pos_, end_ - pos_);
        std::size_t got;
        while ((got = std::fread(buffer_.get(), 1, kBlock, file_)) > 0) text.append(buffer_.get(), got);
        if (std::ferror(file_)) fail(path_, "Cannot read the file.");
        return text;
    }

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    [[noreturn]] void tooLong() const {
        refuse(path_ + ", line " + std::to_string(number_ + 1) + ": the line is too long (more than " +
               std::to_string(kMaxLine) + " characters).");
    }

    bool take(const char* start, std::size_t length, std::string_view& line) {
        if (length > kMaxLine) tooLong();
        if (length > 0 && start[length - 1] == '\r') --length;
        line = std::string_view(start, length);
        ++number_;
        return true;
    }

    std::string path_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
    bool regular_ = false;
    long number_ = 0;
    Sha256 digest_;
};

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// The program's treatment file, read as the Cartesian test reads it, but
// fewer than B replicates may end with -1, and more than B before the end
// (the Cartesian test ignores them) are refused: decimal commas make twice
// as many numbers, and a mean of the wrong ones would pass for a result.
analysis::TreatmentSample readTreatmentFields(FieldReader& in, const std::string& path, std::string name) {
    in.readText();
    in.readNumber();
    in.readText();
    const double announced = in.readNumber();
    const std::optional<std::int64_t> b =
        announced >= 2 && announced <= 9e15
            ? std::optional<std::int64_t>(static_cast<std::int64_t>(roundHalfEven(announced)))
            : std::nullopt;
    if (!b)
        in.failAtField("the number of replicates B must be a whole number of at least 2, not " + plainForm(announced) +
                       ".");
    std::string code = in.readText();
    const double sampleSize = in.readNumber();
    const double estimate = in.readNumber();
    std::vector<double> replicates;
    bool marked = false;
    while (static_cast<std::int64_t>(replicates.size()) < *b && !in.atEnd()) {
        const double x = in.readNumber();
        if ((marked = x == kEndMarker)) break;
        replicates.push_back(x);
    }
    const auto count = static_cast<std::int64_t>(replicates.size());
    if (count < *b && !marked)
        refuse(path + ": the file announces B = " + std::to_string(*b) + " replicates but holds " +
               std::to_string(count) + " and no end marker -1 (it ends on line " + std::to_string(in.lineNumber()) +
               ").");
    if (count < 2)
        in.failAtField("the end marker comes after " + std::to_string(count) + " replicates; at least 2 are needed.");
    if (!marked) {
        std::int64_t beyond = 0;
        long line = 0, field = 0;
        while (!in.atEnd() && in.readNumber() != kEndMarker) {
            if (beyond++ == 0) line = in.lineNumber(), field = in.fieldNumber();
        }
        if (beyond > 0)
            refuse(path + ": the file holds " + std::to_string(count + beyond) + " numbers where B is " +
                   std::to_string(*b) + " (number " + std::to_string(*b + 1) + " is on line " + std::to_string(line) +
                   ", field " + std::to_string(field) +
                   ").\nDecimal commas split each number in two: write 14.7625, not 14,7625.");
    }
    analysis::TreatmentSample sample = analysis::makeSample(std::move(name), path, std::move(replicates));
    sample.estimate = estimate;
    sample.sampleSize = sampleSize;
    sample.code = std::move(code);
    return sample;
}

// A treatment file names its treatment first; a number there is more likely
// a plain file written with decimal commas, and a refusal says so.
analysis::TreatmentSample readTreatmentFile(FieldReader& in, const std::string& path) {
    std::string name = in.readText();
    const bool numberFirst = parseNumberText(name).has_value();
    try {
        return readTreatmentFields(in, path, std::move(name));
    } catch (const UserError& e) {
        if (!numberFirst) throw;
        throw UserError(e.title(), e.text() +
                                       "\nThe first line holds a comma, so the file was read as a treatment file; a "
                                       "file of one number a line needs decimal points: 14.7625, not 14,7625.");
    }
}

}  // namespace

analysis::TreatmentSample readCompareFile(const std::string& path, InputDigest* digest) {
    LineReader lines(path);
    if (lines.firstRecordHasComma()) {
        // A regular file is read again from its start by the field reader,
        // which hashes all of it; a pipe cannot be, so what the line reader
        // has taken goes on with the rest.
        FieldReader fields =
            lines.regular() ? FieldReader::fromFile(path, kTitle) : FieldReader(lines.rest(), path, kTitle);
        analysis::TreatmentSample sample = readTreatmentFile(fields, path);
        if (digest) *digest = fields.inputDigest(path);
        return sample;
    }

    std::string_view line;
    if (!lines.next(line)) fail(path, "The file is empty.");
    std::string name = std::filesystem::path(path).stem().string();
    std::vector<double> replicates;
    long blankAt = 0;  // a blank line is fine only when nothing follows it
    bool first = true;
    do {
        if (isBlank(line)) {
            if (blankAt == 0) blankAt = lines.number();
            first = false;
            continue;
        }
        if (blankAt != 0) refuse(path + ", line " + std::to_string(blankAt) + ": the line is empty.");
        if (const std::optional<double> v = parseNumberText(line)) {
            replicates.push_back(*v);
        } else if (first) {
            name = trimmed(line);
        } else {
            const std::string shown = trimmed(line).substr(0, 60);
            refuse(path + ", line " + std::to_string(lines.number()) + ": \"" + shown + "\"" +
                   (numberTextOverflows(line) ? " is too large." : " is not a number."));
        }
        first = false;
    } while (lines.next(line));
    if (replicates.size() < 2)
        refuse(path + ": the file holds " + std::to_string(replicates.size()) + " replicates; at least 2 are needed.");
    if (digest) *digest = lines.inputDigest(path);
    return analysis::makeSample(std::move(name), path, std::move(replicates));
}

std::vector<analysis::TreatmentSample> readCompareFiles(const std::vector<std::string>& paths,
                                                        std::vector<InputDigest>* digests) {
    std::vector<analysis::TreatmentSample> samples(paths.size());
    if (digests) digests->assign(paths.size(), InputDigest{});
    // Pipes, which one reader may drain for another, are read in turn.
    const bool allRegular = std::all_of(paths.begin(), paths.end(), [](const std::string& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    });
    analysis::forEachItem(paths.size(), allRegular ? analysis::coreCount() : 1, [&](std::size_t f) {
        samples[f] = readCompareFile(paths[f], digests ? &(*digests)[f] : nullptr);
    });
    return samples;
}

}  // namespace lumera::cli
