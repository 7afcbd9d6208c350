#pragma once
// One memory budget for decoded pictures, shared by every decoder of the program. A decoder asks
// before it allocates a single pixel whether the picture's declared size fits; a picture over the
// budget is shown reduced where its decoder can scale while decoding, and refused otherwise.
// Safe to use from any thread.

#include <cstdint>
#include <string>

namespace quorvanta {

inline constexpr std::uint64_t kMiB = std::uint64_t(1) << 20;
inline constexpr std::uint64_t kGiB = std::uint64_t(1) << 30;

// The smaller of 1 GiB and a quarter of the machine's physical memory.
std::uint64_t DefaultDecodeBudgetBytes();

// The budget in force for the whole process, in bytes.
std::uint64_t DecodeBudgetBytes();

// Sets the budget for the whole process; 0 restores the default. Meant for the settings value (MiB).
void SetDecodeBudgetMiB(std::uint64_t mib);
void SetDecodeBudgetBytes(std::uint64_t bytes);

// What a check of a declared size says.
struct BudgetCheck {
    bool fits = false;
    std::uint64_t needed = 0; // bytes; UINT64_MAX when the product overflows
    std::uint64_t budget = 0;
    std::string message;      // "W x H needs X GiB; the limit is Y GiB (Settings)" when it does not fit

    explicit operator bool() const { return fits; }
};

// width x height x bytesPerPixel x buffers against the budget (or `budget` when it is not 0), in
// 64 bits with overflow checked. A zero dimension fits (there is nothing to hold).
BudgetCheck CheckDecodeBudget(std::uint64_t width, std::uint64_t height, std::uint64_t bytesPerPixel,
                              std::uint64_t buffers = 1, std::uint64_t budget = 0);

// The same for a picture of width x height that needs `bytes` in all (UINT64_MAX: more than can be
// counted), for decoders whose buffers are not a whole number of bytes a pixel.
BudgetCheck CheckDecodeBudgetBytes(std::uint64_t width, std::uint64_t height, std::uint64_t bytes,
                                   std::uint64_t budget = 0);

// Byte counts as people read them: "512.0 MiB" below 1 GiB, "4.0 GiB" from there, one decimal.
std::string FormatByteSize(std::uint64_t bytes);

// A size no larger than `width` x `height` with the same shape whose area is at most `maxArea`
// pixels and whose bytes (x bytesPerPixel) fit the budget; each side at least 1.
struct ReducedSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int percent = 100; // the linear scale, rounded down, at least 1
};
ReducedSize ReduceToFit(std::uint32_t width, std::uint32_t height, std::uint64_t maxArea,
                        std::uint64_t bytesPerPixel = 4);

// The default target for a reduced picture: the area of a 1920 x 1080 screen.
inline constexpr std::uint64_t kDefaultReducedArea = 1920ull * 1080ull;

} // namespace quorvanta
