#include "InspectionExport.h"

#include <algorithm>
#include <cstdio>

namespace ostrelclient {

// Plane p, the record word its sample comes from, and its off bit.
const TChannel kChannels[kChannelCount] = {
    {"ch0", "W1", 0x0001}, {"ch1", "W0", 0x0002}, {"ch2", "W7", 0x0010}, {"ch3", "W6", 0x0020},
    {"ch4", "W5", 0x0040}, {"ch5", "W4", 0x0080}, {"ch6", "W3", 0x0100}, {"ch7", "W2", 0x0200},
};

bool TInspection::Assign(const uint8_t* data, size_t size) {
    if (size % kBytesPerRecord != 0 || (size != 0 && data == nullptr)) return false;
    const size_t count = size / kBytesPerRecord;
    if (count > UINT32_MAX) return false;
    FCount = static_cast<uint32_t>(count);
    for (unsigned p = 0; p < kPlaneCount; ++p) {
        const uint8_t* plane = data + 2 * count * p;
        FPlanes[p].resize(count);
        for (size_t r = 0; r < count; ++r)
            FPlanes[p][r] = static_cast<int16_t>(static_cast<uint16_t>(plane[2 * r] | plane[2 * r + 1] << 8));
    }
    return true;
}

namespace {

void AppendInt(std::string& out, long long v) {
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%lld", v);
    out.append(buf, static_cast<size_t>(n));
}

// A coordinate in tenths of a pixel, written with one decimal ("12.3", "40").
void AppendTenths(std::string& out, long long t) {
    if (t < 0) {
        out += '-';
        t = -t;
    }
    AppendInt(out, t / 10);
    if (t % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + t % 10);
    }
}

void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters are not allowed in XML 1.0 text.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') out += ' ';
            else out += c;
        }
    }
}

// Rounded division of a non-negative numerator by a positive denominator.
long long DivRound(long long num, long long den) { return (num + den / 2) / den; }

}  // namespace

std::string WriteCsv(const TInspection& insp, char separator) {
    std::string out;
    out.reserve(64 + static_cast<size_t>(insp.Count()) * 60);
    out += "record";
    for (const TChannel& ch : kChannels) {
        out += separator;
        out += ch.Name;
        out += '_';
        out += ch.Word;
    }
    out += separator;
    out += "status\r\n";
    for (uint32_t r = 0; r < insp.Count(); ++r) {
        AppendInt(out, r);
        for (unsigned p = 0; p < kChannelCount; ++p) {
            out += separator;
            AppendInt(out, insp.Sample(p, r));
        }
        char status[8];
        std::snprintf(status, sizeof status, "0x%04X", static_cast<unsigned>(insp.Status(r)));
        out += separator;
        out += status;
        out += "\r\n";
    }
    return out;
}

namespace {

class TSvgWriter {
public:
    TSvgWriter(const TInspection& insp, const TSvgOptions& o)
        : FInsp(insp),
          FWidth(std::max(o.Width, kSvgMinWidth)),
          FLane(std::max(o.LaneHeight, kSvgMinLane)),
          FPlotWidth(FWidth - kSvgLeft - kSvgRight),
          FHeight(kSvgTop + kChannelCount * FLane + kSvgBottom),
          FTitle(o.Title) {}

    std::string Write() {
        Header();
        for (unsigned ch = 0; ch < kChannelCount; ++ch) Channel(ch);
        Axis();
        FOut += "</svg>\n";
        return std::move(FOut);
    }

private:
    const TInspection& FInsp;
    const unsigned FWidth, FLane, FPlotWidth, FHeight;
    const std::string FTitle;
    std::string FOut;

    bool Present(unsigned ch, uint32_t r) const {
        return (FInsp.Status(r) & (kChannels[ch].OffBit | kStatusRecordFlag)) == 0;
    }
    // x of a record, tenths of a pixel.
    long long X(uint32_t r) const {
        const long long x0 = 10LL * kSvgLeft;
        if (FInsp.Count() <= 1) return x0;
        return x0 + DivRound(10LL * FPlotWidth * r, FInsp.Count() - 1);
    }
    // y of a value in the lane of channel ch scaled to lo..hi, tenths of a pixel.
    long long Y(unsigned ch, int v, int lo, int hi) const {
        const long long top = 10LL * (kSvgTop + ch * FLane);
        if (hi == lo) return top + 5LL * FLane;
        const long long span = 10LL * (FLane - 2 * kSvgLanePad);
        return top + 10LL * kSvgLanePad + DivRound(span * (hi - v), hi - lo);
    }

    // ` name="v"`, v in pixels or in tenths of a pixel.
    void Attr(const char* name, long long v) {
        FOut += ' ';
        FOut += name;
        FOut += "=\"";
        AppendInt(FOut, v);
        FOut += '"';
    }
    void AttrTenths(const char* name, long long t) {
        FOut += ' ';
        FOut += name;
        FOut += "=\"";
        AppendTenths(FOut, t);
        FOut += '"';
    }

    void Text(long long x, long long y, const std::string& text, const char* attrs = "") {
        FOut += "<text";
        Attr("x", x);
        Attr("y", y);
        FOut += attrs;
        FOut += '>';
        AppendEscaped(FOut, text);
        FOut += "</text>\n";
    }
    // Next point of a path; pen false starts a new stroke (after a gap).
    void Point(bool& pen, long long x, long long y) {
        if (pen) FOut += " L";
        else FOut += FOut.back() == '"' ? "M" : " M";
        AppendTenths(FOut, x);
        FOut += ' ';
        AppendTenths(FOut, y);
        pen = true;
    }

    void Header() {
        FOut += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"";
        Attr("width", FWidth);
        Attr("height", FHeight);
        FOut += " viewBox=\"0 0 ";
        AppendInt(FOut, FWidth);
        FOut += ' ';
        AppendInt(FOut, FHeight);
        FOut += "\" font-family=\"sans-serif\" font-size=\"11\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
        Text(kSvgLeft, 24, FTitle, " font-size=\"14\"");
        if (FInsp.Count() == 0) Text(kSvgLeft + 10, kSvgTop + FLane / 2, "no records", " fill=\"#a00000\"");
    }

    void Channel(unsigned ch) {
        const long long top = kSvgTop + static_cast<long long>(ch) * FLane;
        int lo = 0, hi = 0;
        uint32_t present = 0;
        for (uint32_t r = 0; r < FInsp.Count(); ++r) {
            if (!Present(ch, r)) continue;
            const int v = FInsp.Sample(ch, r);
            lo = present == 0 ? v : std::min(lo, v);
            hi = present == 0 ? v : std::max(hi, v);
            ++present;
        }
        FOut += "<g id=\"";
        FOut += kChannels[ch].Name;
        FOut += "\">\n<rect";
        Attr("x", kSvgLeft);
        Attr("y", top);
        Attr("width", FPlotWidth);
        Attr("height", FLane);
        FOut += " fill=\"none\" stroke=\"#c0c0c0\"/>\n";
        Text(30, top + FLane / 2 - 2, std::string(kChannels[ch].Name) + " (" + kChannels[ch].Word + ")",
             " font-weight=\"bold\"");
        const uint32_t absent = FInsp.Count() - present;
        if (absent != 0) {
            const std::string note = present == 0 ? "off in all records"
                                     : absent == 1  ? "off in 1 record"
                                                    : "off in " + std::to_string(absent) + " records";
            Text(30, top + FLane / 2 + 12, note, " fill=\"#a00000\"");
        }
        if (present == 0) {
            FOut += "</g>\n";
            return;
        }
        Text(kSvgLeft - 6, top + kSvgLanePad + 8, std::to_string(hi), " text-anchor=\"end\"");
        if (hi != lo) Text(kSvgLeft - 6, top + FLane - kSvgLanePad, std::to_string(lo), " text-anchor=\"end\"");
        FOut += "<path fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1\" d=\"";
        Trace(ch, lo, hi);
        FOut += "\"/>\n</g>\n";
    }

    void Trace(unsigned ch, int lo, int hi) {
        const uint32_t n = FInsp.Count();
        bool pen = false;
        if (n == 1) {  // one record spans the whole plot
            Point(pen, 10LL * kSvgLeft, Y(ch, FInsp.Sample(ch, 0), lo, hi));
            Point(pen, 10LL * (kSvgLeft + FPlotWidth), Y(ch, FInsp.Sample(ch, 0), lo, hi));
            return;
        }
        if (n <= 2ULL * FPlotWidth) {
            for (uint32_t r = 0; r < n; ++r) {
                if (!Present(ch, r)) {
                    pen = false;
                    continue;
                }
                Point(pen, X(r), Y(ch, FInsp.Sample(ch, r), lo, hi));
            }
            return;
        }
        // Envelope: each pixel column keeps the lowest and highest sample of
        // its records, in the order they occur.
        for (unsigned c = 0; c < FPlotWidth; ++c) {
            const uint32_t a = static_cast<uint32_t>(uint64_t(n) * c / FPlotWidth);
            const uint32_t b = static_cast<uint32_t>(uint64_t(n) * (c + 1) / FPlotWidth);
            uint32_t rmin = b, rmax = b;
            for (uint32_t r = a; r < b; ++r) {
                if (!Present(ch, r)) continue;
                if (rmin == b || FInsp.Sample(ch, r) < FInsp.Sample(ch, rmin)) rmin = r;
                if (rmax == b || FInsp.Sample(ch, r) > FInsp.Sample(ch, rmax)) rmax = r;
            }
            if (rmin == b) {
                pen = false;
                continue;
            }
            const long long x = 10LL * (kSvgLeft + c) + 5;
            const uint32_t first = std::min(rmin, rmax), second = std::max(rmin, rmax);
            Point(pen, x, Y(ch, FInsp.Sample(ch, first), lo, hi));
            if (FInsp.Sample(ch, second) != FInsp.Sample(ch, first))
                Point(pen, x, Y(ch, FInsp.Sample(ch, second), lo, hi));
        }
    }

    void Axis() {
        const long long y = kSvgTop + static_cast<long long>(kChannelCount) * FLane;
        FOut += "<g id=\"axis\">\n<line";
        Attr("x1", kSvgLeft);
        Attr("y1", y);
        Attr("x2", kSvgLeft + FPlotWidth);
        Attr("y2", y);
        FOut += " stroke=\"black\"/>\n";
        const uint32_t n = FInsp.Count();
        long long last = -1;
        for (unsigned k = 0; n != 0 && k <= 4; ++k) {
            const uint32_t r = static_cast<uint32_t>(uint64_t(n - 1) * k / 4);
            if (static_cast<long long>(r) == last) continue;
            last = r;
            FOut += "<line";
            AttrTenths("x1", X(r));
            Attr("y1", y);
            AttrTenths("x2", X(r));
            Attr("y2", y + 5);
            FOut += " stroke=\"black\"/>\n<text";
            AttrTenths("x", X(r));
            Attr("y", y + 18);
            FOut += " text-anchor=\"middle\">";
            AppendInt(FOut, r);
            FOut += "</text>\n";
        }
        Text(kSvgLeft + FPlotWidth / 2, y + 40, "record", " text-anchor=\"middle\"");
        FOut += "<text x=\"14\"";
        Attr("y", kSvgTop + kChannelCount * FLane / 2);
        FOut += " text-anchor=\"middle\" transform=\"rotate(-90 14 ";
        AppendInt(FOut, kSvgTop + kChannelCount * FLane / 2);
        FOut += ")\">sample (12-bit)</text>\n</g>\n";
    }
};

}  // namespace

std::string WriteSvg(const TInspection& insp, const TSvgOptions& options) { return TSvgWriter(insp, options).Write(); }

}  // namespace ostrelclient
