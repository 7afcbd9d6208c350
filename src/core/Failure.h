#pragma once
// Why something failed, as a value that travels from the subsystem that found it up to the window:
// one kind from a fixed list, plus a detail naming what was involved (a path, a setting, a size).

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quorvanta {

enum class Failure {
    CantOpen,        // missing, or no permission to read
    NotRegular,      // a directory, device, FIFO or socket where a file was expected
    ReadFailed,      // an I/O error, or the file changed while it was read
    TooLarge,        // larger than any picture we can hold
    NoMemory,        // the memory for it could not be had
    NotAPicture,     // the content is of no format we read
    Corrupt,         // of a format we read, but damaged or cut short
    OverBudget,      // declares more pixels than the decode budget allows
    InvalidSetting,  // an encoder setting out of its range
    CantWrite,       // the target can't be created or replaced (permissions, a folder, a device)
    DiskFull,        // the disk or the file size limit ran out while writing
    EncodeFailed,    // the encoder refused the picture
    NothingToEncode, // nothing on show that could be encoded
    Cancelled,       // stopped on request
    Busy,            // refused while an encoding runs
};

// The plain words for a kind of failure, as the window shows them ("not a picture").
const char* describe(Failure failure);

struct Problem {
    Failure failure = Failure::CantOpen;
    std::string detail;  // what it concerns, or a more precise reason; may be empty
    std::string subject; // the file it concerns, as the user knows it ("photo.webp"); may be empty

    // "<words>" or "<words>: <detail>"; with a subject in front: "notes.txt is not a picture",
    // "out.webp can't be written: Permission denied", "out.webp: the disk is full".
    std::string text() const;
};

inline Problem problem(Failure failure, std::string detail = {})
{
    return Problem{failure, std::move(detail), {}};
}

// A problem with the file (or folder) it concerns.
inline Problem problemWith(std::string subject, Failure failure, std::string detail = {})
{
    return Problem{failure, std::move(detail), std::move(subject)};
}

// The last part of a path, as a problem's subject or a message names a file ("/a/b.webp" gives
// "b.webp"; a path ending in "/" gives the folder's name).
std::string displayName(const std::string& path);

// A value or the problem that kept it from being made.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state(std::move(value)) {}
    Result(Problem failure) : state(std::move(failure)) {}

    bool ok() const { return state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state); }
    const T& value() const& { return std::get<0>(state); }
    T&& value() && { return std::get<0>(std::move(state)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Problem& problem() const { return std::get<1>(state); }

private:
    std::variant<T, Problem> state;
};

// Success, or the problem.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Problem failure) : failed(std::move(failure)) {}

    bool ok() const { return !failed; }
    explicit operator bool() const { return ok(); }
    const Problem& problem() const { return *failed; }

private:
    std::optional<Problem> failed;
};

} // namespace quorvanta
