#include "core/FileName.h"

#include <algorithm>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t c) {
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

// Length of the valid UTF-8 sequence starting at p (0 when invalid), and its code point.
int utf8Sequence(const unsigned char* p, qsizetype left, char32_t& cp) {
    const unsigned char b0 = p[0];
    int len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString DecodeFileName(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    // Most names are plain ASCII, which decodes byte for byte.
    if (std::all_of(p, p + n, [](unsigned char b) { return b < 0x80; }))
        return QString::fromLatin1(bytes);
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n;) {
        char32_t cp = 0;
        const int len = utf8Sequence(p + i, n - i, cp);
        if (len == 0) {
            out.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += len;
    }
    return out;
}

QByteArray EncodeFileName(const QString& name) {
    const qsizetype n = name.size();
    const char16_t* s = reinterpret_cast<const char16_t*>(name.utf16());
    // Every UTF-16 unit takes at most three bytes (a surrogate pair four, for two units); the
    // bytes go straight into the buffer, which is cut to length at the end.
    QByteArray out(n * 3, Qt::Uninitialized);
    char* o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        char32_t cp = c;
        if (c < 0x80) {
            *o++ = char(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            cp = QChar::surrogateToUcs4(c, s[i + 1]);
            ++i;
        } else if (isEscapedByte(c)) {
            *o++ = char(c - kEscapeBase);
            continue;
        } else if (QChar::isSurrogate(c)) {
            cp = 0xFFFD; // a stray surrogate that no decoded name holds
        }
        if (cp < 0x800) {
            *o++ = char(0xC0 | (cp >> 6));
            *o++ = char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *o++ = char(0xE0 | (cp >> 12));
            *o++ = char(0x80 | ((cp >> 6) & 0x3F));
            *o++ = char(0x80 | (cp & 0x3F));
        } else {
            *o++ = char(0xF0 | (cp >> 18));
            *o++ = char(0x80 | ((cp >> 12) & 0x3F));
            *o++ = char(0x80 | ((cp >> 6) & 0x3F));
            *o++ = char(0x80 | (cp & 0x3F));
        }
    }
    out.truncate(o - out.constData());
    return out;
}

QString DisplayFileName(const QString& name) {
    // Almost every name holds no escaped byte and is shown as it is, shared rather than copied.
    const auto escaped = [](QChar c) { return isEscapedByte(c.unicode()); };
    if (std::none_of(name.cbegin(), name.cend(), escaped))
        return name;
    QString out = name;
    std::replace_if(out.begin(), out.end(), escaped, QChar(QChar::ReplacementCharacter));
    return out;
}
