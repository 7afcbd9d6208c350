#include "core/DecodeBudget.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace quorvanta {

namespace {

std::atomic<std::uint64_t> budgetBytes{0}; // 0: the default

std::uint64_t physicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    std::uint64_t out = 0;
    if (__builtin_mul_overflow(std::uint64_t(pages), std::uint64_t(pageSize), &out))
        return UINT64_MAX;
    return out;
}

} // namespace

std::uint64_t DefaultDecodeBudgetBytes()
{
    static const std::uint64_t value = [] {
        const std::uint64_t quarter = physicalMemory() / 4;
        return quarter == 0 ? kGiB : std::min(kGiB, quarter);
    }();
    return value;
}

std::uint64_t DecodeBudgetBytes()
{
    const std::uint64_t set = budgetBytes.load(std::memory_order_relaxed);
    return set ? set : DefaultDecodeBudgetBytes();
}

void SetDecodeBudgetBytes(std::uint64_t bytes)
{
    budgetBytes.store(bytes, std::memory_order_relaxed);
}

void SetDecodeBudgetMiB(std::uint64_t mib)
{
    SetDecodeBudgetBytes(mib > UINT64_MAX / kMiB ? UINT64_MAX : mib * kMiB);
}

std::string FormatByteSize(std::uint64_t bytes)
{
    char text[48];
    if (bytes < kGiB)
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / double(kMiB));
    else
        std::snprintf(text, sizeof text, "%.1f GiB", double(bytes) / double(kGiB));
    return text;
}

BudgetCheck CheckDecodeBudget(std::uint64_t width, std::uint64_t height, std::uint64_t bytesPerPixel,
                              std::uint64_t buffers, std::uint64_t budget)
{
    std::uint64_t pixels = 0, perBuffer = 0, needed = 0;
    if (__builtin_mul_overflow(width, height, &pixels) || __builtin_mul_overflow(pixels, bytesPerPixel, &perBuffer) ||
        __builtin_mul_overflow(perBuffer, buffers, &needed))
        needed = UINT64_MAX;
    return CheckDecodeBudgetBytes(width, height, needed, budget);
}

BudgetCheck CheckDecodeBudgetBytes(std::uint64_t width, std::uint64_t height, std::uint64_t bytes,
                                   std::uint64_t budget)
{
    BudgetCheck out;
    out.budget = budget ? budget : DecodeBudgetBytes();
    out.needed = bytes;
    out.fits = out.needed <= out.budget;
    if (!out.fits)
        out.message = std::to_string(width) + " x " + std::to_string(height) + " needs " +
                      FormatByteSize(out.needed) + "; the limit is " + FormatByteSize(out.budget) + " (Settings)";
    return out;
}

ReducedSize ReduceToFit(std::uint32_t width, std::uint32_t height, std::uint64_t maxArea, std::uint64_t bytesPerPixel)
{
    ReducedSize out{width, height, 100};
    if (width == 0 || height == 0)
        return out;
    const std::uint64_t budgetArea = DecodeBudgetBytes() / std::max<std::uint64_t>(bytesPerPixel, 1);
    const double area = double(std::max<std::uint64_t>(1, std::min(maxArea, budgetArea)));
    const double full = double(width) * double(height);
    if (full <= area)
        return out;
    double scale = std::sqrt(area / full);
    for (;;) { // rounding may land one pixel over: shrink until it fits
        out.width = std::uint32_t(std::max(1.0, std::floor(width * scale)));
        out.height = std::uint32_t(std::max(1.0, std::floor(height * scale)));
        if (double(out.width) * out.height <= area || scale < 1e-9)
            break;
        scale *= 0.999;
    }
    out.percent = std::max(1, int(std::floor(scale * 100.0)));
    return out;
}

} // namespace quorvanta
