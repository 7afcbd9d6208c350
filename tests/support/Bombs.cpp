#include "Bombs.h"

#include "WebPBuilder.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <array>

namespace bombs {

namespace {

// Bits packed from the least significant end, as deflate takes them.
class BitWriter {
public:
    void bits(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i)
            bit((value >> i) & 1u);
    }
    // A Huffman code goes most significant bit first.
    void code(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            bit((value >> i) & 1u);
    }
    QByteArray finish()
    {
        if (used)
            out.append(char(current));
        return out;
    }

private:
    void bit(std::uint32_t b)
    {
        current |= std::uint8_t(b << used);
        if (++used == 8) {
            out.append(char(current));
            current = 0;
            used = 0;
        }
    }
    QByteArray out;
    std::uint8_t current = 0;
    int used = 0;
};

QByteArray be32(std::uint32_t v)
{
    return QByteArray(1, char(v >> 24)) + char((v >> 16) & 0xFF) + char((v >> 8) & 0xFF) + char(v & 0xFF);
}

QByteArray be16(std::uint32_t v) { return QByteArray(1, char((v >> 8) & 0xFF)) + char(v & 0xFF); }
QByteArray le16(std::uint32_t v) { return webpbuild::le(v, 2); }

std::uint32_t crc32(const QByteArray& bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ std::uint8_t(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray pngChunk(const char* tag, const QByteArray& data)
{
    const QByteArray body = QByteArray(tag, 4) + data;
    return be32(std::uint32_t(data.size())) + body + be32(crc32(body));
}

// A small real file of a format Qt writes, made by Qt.
QByteArray written(const char* format, QImage::Format pixels = QImage::Format_RGB32)
{
    QImage image(16, 16, pixels);
    image.fill(0);
    QByteArray out;
    QBuffer device(&out);
    device.open(QIODevice::WriteOnly);
    image.save(&device, format);
    return out;
}

QByteArray jpeg(std::uint32_t width, std::uint32_t height)
{
    // A real 16 x 16 JPEG whose frame header is made to say another size: its few bytes of data
    // end early, which the decoder takes as grey.
    QByteArray bytes = written("JPEG");
    for (qsizetype at = 2; at + 9 < bytes.size();) {
        const auto marker = std::uint8_t(bytes[at + 1]);
        const qsizetype length = (qsizetype(std::uint8_t(bytes[at + 2])) << 8) | std::uint8_t(bytes[at + 3]);
        if (marker == 0xC0 || marker == 0xC2) {
            bytes.replace(at + 5, 2, be16(height));
            bytes.replace(at + 7, 2, be16(width));
            break;
        }
        at += 2 + length;
    }
    return bytes;
}

QByteArray tiff(std::uint32_t width, std::uint32_t height)
{
    // A real little-endian TIFF with its width and length entries made long and large.
    QByteArray bytes = written("TIFF");
    const auto u16 = [&](qsizetype at) { return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8; };
    const qsizetype ifd = qsizetype(u16(4) | u16(6) << 16);
    const std::uint32_t entries = u16(ifd);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const qsizetype entry = ifd + 2 + 12 * qsizetype(i);
        const std::uint32_t tag = u16(entry);
        if (tag == 256 || tag == 257)
            bytes.replace(entry + 2, 10, le16(4) + webpbuild::le(1, 4) + webpbuild::le(tag == 256 ? width : height, 4));
    }
    return bytes;
}

QByteArray bmp(std::uint32_t width, std::uint32_t height)
{
    QByteArray info = webpbuild::le(40, 4) + webpbuild::le(width, 4) + webpbuild::le(height, 4) + le16(1) + le16(32) +
                      webpbuild::le(0, 4) + webpbuild::le(0, 4) + webpbuild::le(2835, 4) + webpbuild::le(2835, 4) +
                      webpbuild::le(0, 4) + webpbuild::le(0, 4);
    const QByteArray body(16, '\0');
    return "BM" + webpbuild::le(std::uint32_t(14 + info.size() + body.size()), 4) + webpbuild::le(0, 4) +
           webpbuild::le(std::uint32_t(14 + info.size()), 4) + info + body;
}

QByteArray gif(std::uint32_t width, std::uint32_t height)
{
    const QByteArray screen = le16(width) + le16(height);
    return "GIF89a" + screen + QByteArray("\0\0\0", 3) + "," + QByteArray(4, '\0') + screen +
           QByteArray("\0\x02\x02\x4c\x01\0;", 7);
}

QByteArray tga(std::uint32_t width, std::uint32_t height)
{
    // Run-length encoded true colour: 128 zero pixels from every 4 bytes.
    const QByteArray header = QByteArray("\0\0\x0a", 3) + QByteArray(9, '\0') + le16(width) + le16(height) +
                              QByteArray("\x18\x20", 2);
    const qint64 packets = (qint64(width) * height + 127) / 128;
    return header + QByteArray("\xff\0\0\0", 4).repeated(qsizetype(packets));
}

QByteArray pcx(std::uint32_t width, std::uint32_t height)
{
    // One plane of one bit a pixel, run-length encoded: 63 zero bytes from every 2.
    const std::uint32_t bytesPerLine = ((width + 15) / 16) * 2;
    QByteArray header = QByteArray("\x0a\x05\x01\x01", 4) + le16(0) + le16(0) + le16(width - 1) + le16(height - 1) +
                        le16(72) + le16(72) + QByteArray(48, '\0') + QByteArray(1, '\0') + QByteArray(1, '\x01') +
                        le16(bytesPerLine) + le16(1);
    header.append(QByteArray(128 - header.size(), '\0'));
    const qint64 runs = (qint64(bytesPerLine) * height + 62) / 63;
    return header + QByteArray("\xff\0", 2).repeated(qsizetype(runs));
}

QByteArray ilbm(std::uint32_t width, std::uint32_t height)
{
    // One bit plane, ByteRun1: 128 zero bytes from every 2.
    const QByteArray bmhd = be16(width) + be16(height) + be16(0) + be16(0) + QByteArray("\x01\x00\x01\x00", 4) +
                            be16(0) + QByteArray("\x0a\x0b", 2) + be16(width) + be16(height);
    const qint64 rowBytes = ((qint64(width) + 15) / 16) * 2;
    const QByteArray body = QByteArray("\x81\0", 2).repeated(qsizetype((rowBytes * height + 127) / 128));
    const auto chunk = [](const char* tag, const QByteArray& data) {
        QByteArray out = QByteArray(tag, 4) + be32(std::uint32_t(data.size())) + data;
        if (data.size() % 2)
            out.append('\0');
        return out;
    };
    const QByteArray chunks = "ILBM" + chunk("BMHD", bmhd) + chunk("CMAP", QByteArray("\0\0\0\xff\xff\xff", 6)) +
                              chunk("BODY", body);
    return "FORM" + be32(std::uint32_t(chunks.size())) + chunks;
}

QByteArray netpbm(char kind, std::uint32_t width, std::uint32_t height)
{
    return "P" + QByteArray(1, kind) + "\n" + QByteArray::number(width) + " " + QByteArray::number(height) +
           (kind == '4' ? "\n" : "\n255\n") + QByteArray(16, '\0');
}

QByteArray webpLossy(std::uint32_t width, std::uint32_t height)
{
    // A lossy key frame header that declares the size, followed by the data of a tiny picture.
    const std::vector<std::uint8_t> black(16 * 16 * 3, 0);
    std::uint8_t* raw = nullptr;
    const std::size_t size = WebPEncodeBGR(black.data(), 16, 16, 16 * 3, 50, &raw);
    QByteArray file(reinterpret_cast<const char*>(raw), qsizetype(size));
    WebPFree(raw);
    const qsizetype vp8 = file.indexOf("VP8 ");
    file.replace(vp8 + 8 + 6, 4, le16(width) + le16(height));
    return file;
}

QByteArray webpStill(std::uint32_t width, std::uint32_t height)
{
    // A lossless header that declares the size, followed by the bits of a tiny picture.
    QByteArray file = webpbuild::losslessFile(1, 1, 0xFF000000u);
    const qsizetype vp8l = file.indexOf("VP8L");
    const std::uint32_t packed = (width - 1) | ((height - 1) << 14) | (std::uint32_t(std::uint8_t(file[vp8l + 12])) >> 4 & 1u) << 28;
    file.replace(vp8l + 9, 4, webpbuild::le(packed, 4));
    return file;
}

QByteArray webpAnimation(std::uint32_t width, std::uint32_t height)
{
    using namespace webpbuild;
    const QByteArray frame = imageChunk(losslessFile(1, 1, 0xFFFF0000u));
    QByteArray frames;
    for (int i = 0; i < 3; ++i)
        frames += anmf(0, 0, 1, 1, 100, false, false, frame);
    return riff(vp8x(kAnimation, width, height) + anim() + frames);
}

} // namespace

QByteArray zlibZeros(std::uint64_t count)
{
    BitWriter w;
    w.bits(1, 1); // the last block
    w.bits(1, 2); // fixed codes
    std::uint64_t left = count;
    if (left > 0) {
        w.code(0x30, 8); // literal 0
        --left;
    }
    for (; left >= 258; left -= 258) {
        w.code(0xC5, 8); // length 258
        w.code(0, 5);    // distance 1
    }
    for (; left > 0; --left)
        w.code(0x30, 8);
    w.code(0, 7); // end of block
    // Adler-32 of zeros: the first sum stays 1, the second grows by 1 a byte.
    const std::uint32_t adler = std::uint32_t(count % 65521) << 16 | 1u;
    return QByteArray("\x78\x01", 2) + w.finish() + be32(adler);
}

QByteArray png(std::uint32_t width, std::uint32_t height, bool wholeBody, int colourType, int bitDepth)
{
    const int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : colourType == 4 ? 2 : 1;
    const std::uint64_t rowBytes = 1 + (std::uint64_t(width) * channels * bitDepth + 7) / 8;
    const std::uint64_t rows = wholeBody ? height : std::min<std::uint64_t>(height, 4);
    const QByteArray ihdr = be32(width) + be32(height) + char(bitDepth) + char(colourType) + QByteArray(3, '\0');
    QByteArray out = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr);
    const QByteArray data = zlibZeros(rowBytes * rows);
    for (qsizetype at = 0; at < data.size(); at += 1 << 20)
        out += pngChunk("IDAT", data.mid(at, 1 << 20));
    return out + pngChunk("IEND", {});
}

std::vector<Bomb> everyFormat(std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t w16 = std::min(width, 65535u), h16 = std::min(height, 65535u);
    const std::uint32_t wWebP = std::min(width, 16383u), hWebP = std::min(height, 16383u);
    std::vector<Bomb> out{
        {"png rgba", png(width, height), width, height},
        {"png grey 1 bit", png(width, height, false, 0, 1), width, height},
        {"jpeg", jpeg(w16, h16), w16, h16, true},
        {"gif", gif(w16, h16), w16, h16},
        {"bmp", bmp(width, height), width, height},
        {"tiff", tiff(width, height), width, height},
        {"pbm", netpbm('4', width, height), width, height},
        {"pgm", netpbm('5', width, height), width, height},
        {"ppm", netpbm('6', width, height), width, height},
        {"tga", tga(w16, h16), w16, h16},
        {"pcx", pcx(w16, h16), w16, h16},
        {"ilbm", ilbm(w16, h16), w16, h16},
        {"xbm", "#define b_width " + QByteArray::number(width) + "\n#define b_height " + QByteArray::number(height) +
                    "\nstatic char b_bits[] = {\n0x00, };\n",
         width, height},
        {"xpm", "/* XPM */\nstatic char *b[] = {\n\"" + QByteArray::number(width) + " " + QByteArray::number(height) +
                    " 1 1\",\n\"  c #000000\",\n\" \"};\n",
         width, height},
        {"webp still lossy", webpLossy(wWebP, hWebP), wWebP, hWebP, true},
        {"webp still lossless", webpStill(wWebP, hWebP), wWebP, hWebP},
        {"webp animation", webpAnimation(std::min(width, 16777216u), std::min(height, 16777216u)),
         std::min(width, 16777216u), std::min(height, 16777216u), false, true},
    };
    return out;
}

} // namespace bombs
