#include "core/Failure.h"

namespace quorvanta {

const char* describe(Failure failure)
{
    switch (failure) {
    case Failure::CantOpen: return "can't be opened";
    case Failure::NotRegular: return "is not a regular file";
    case Failure::ReadFailed: return "could not be read";
    case Failure::TooLarge: return "is too large";
    case Failure::NoMemory: return "not enough memory";
    case Failure::NotAPicture: return "is not a picture";
    case Failure::Corrupt: return "is damaged";
    case Failure::OverBudget: return "is too large for the memory limit";
    case Failure::InvalidSetting: return "a setting is out of range";
    case Failure::CantWrite: return "can't be written";
    case Failure::DiskFull: return "the disk is full";
    case Failure::EncodeFailed: return "the encoder failed";
    case Failure::NothingToEncode: return "nothing to encode";
    case Failure::Cancelled: return "cancelled";
    case Failure::Busy: return "an encoding is running";
    }
    return "failed";
}

namespace {

// Kinds whose words read after the name of what they concern ("notes.txt is not a picture").
bool followsSubject(Failure failure)
{
    switch (failure) {
    case Failure::CantOpen:
    case Failure::NotRegular:
    case Failure::ReadFailed:
    case Failure::TooLarge:
    case Failure::NotAPicture:
    case Failure::Corrupt:
    case Failure::OverBudget:
    case Failure::CantWrite:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string Problem::text() const
{
    std::string out;
    if (!subject.empty())
        out = subject + (followsSubject(failure) ? " " : ": ");
    out += describe(failure);
    if (!detail.empty())
        out += ": " + detail;
    return out;
}

std::string displayName(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos || trimmed.size() == 1 ? trimmed : trimmed.substr(slash + 1);
}

} // namespace quorvanta
