// The supervisor's output file, apart from the file system: the size at which it is rotated
// and how many older files are kept, the names and order of a rotation, the cutting of the
// child's output into the lines written to it, and the last lines read back from its end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr unsigned long long kDefaultOutputMaxBytes = 10ull << 20;
constexpr unsigned kDefaultOutputKeep = 3;
// More older files than this are not kept: every rotation renames each of them.
constexpr unsigned kMaxOutputKeep = 99;

struct OutputLimits {
    unsigned long long maxBytes;
    unsigned keep;
};

// The limits from the texts of the two settings as the data block holds them (empty when the
// key is absent), their numbers read as the configuration store reads numbers. A size that is
// absent or not positive takes the default, since a file rotated before every line would keep
// almost nothing; a count that is absent or negative takes the default, one above
// kMaxOutputKeep is cut to it. A count of 0 keeps no older file.
OutputLimits outputLimits(const std::string& maxBytesText, const std::string& keepText);

// Whether writing `lineBytes` more bytes would take a file of `currentSize` bytes past
// `maxBytes`; the file is then rotated first, so that no file grows beyond the limit unless a
// single line is longer. An empty file is never rotated: the line goes into it whatever its size.
bool rotationDue(unsigned long long currentSize, size_t lineBytes, unsigned long long maxBytes);

// `path` with the number of an older file: "<path>.<number>".
std::wstring rotatedName(const std::wstring& path, unsigned number);

struct RotationStep {
    enum class Kind { Remove, Move };
    Kind kind;
    std::wstring from;
    std::wstring to;  // empty for Remove
};

// The file operations of one rotation of `path` keeping `keep` older files, in order: the
// oldest ("<path>.<keep>") removed, each "<path>.k" moved to "<path>.<k+1>" from the oldest
// down, and `path` moved to "<path>.1", so "<path>.1" is always the newest older file. With
// `keep` 0, `path` itself is removed.
std::vector<RotationStep> rotationSteps(const std::wstring& path, unsigned keep);

// Cuts the child's output, as the pipe hands it over in chunks of any size, into lines, each
// with its line feed. A line longer than the capacity is handed on in pieces of the capacity,
// so the splitter never holds more than that.
class OutputLineSplitter {
public:
    explicit OutputLineSplitter(size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

    // Takes `chunk`; `lines` receives, in order, every line (or piece) completed by it.
    void feed(std::string_view chunk, std::vector<std::string>& lines);
    // What is left once the output has ended: a last line without a line feed, or nothing.
    std::string finish();

private:
    size_t capacity_;
    std::string pending_;
};

// The last `count` lines of `tail`, the end of a file, oldest first and without their line
// ends ("\n" or "\r\n"). When `cutAtFront` the tail does not start at the file's start, so
// its first line may be the back of a longer one and is not taken.
std::vector<std::string> lastLines(std::string_view tail, size_t count, bool cutAtFront);
