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
    }
    return "failed";
}

std::string Problem::text() const
{
    std::string out = describe(failure);
    if (!detail.empty())
        out += ": " + detail;
    return out;
}

} // namespace quorvanta
