#include "core/TextLength.h"

namespace {

// True when a pair starts at `i`: a high surrogate directly followed by a low one.
bool pairAt(QStringView text, qsizetype i) {
    return i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate();
}

// True when `offset` falls between the two halves of a pair.
bool splitsPair(QStringView text, qsizetype offset) {
    return offset > 0 && offset < text.size() && pairAt(text, offset - 1);
}

} // namespace

qsizetype CharCount(QStringView text) {
    qsizetype count = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (pairAt(text, i)) {
            --count;
            ++i;
        }
    }
    return count;
}

qsizetype UnitOffset(QStringView text, qsizetype position) {
    qsizetype offset = 0;
    for (qsizetype n = 0; n < position && offset < text.size(); ++n)
        offset += pairAt(text, offset) ? 2 : 1;
    return offset;
}

qsizetype CharPosition(QStringView text, qsizetype offset) {
    if (offset >= text.size())
        return CharCount(text);
    if (splitsPair(text, offset))
        --offset;
    return offset <= 0 ? 0 : CharCount(text.first(offset));
}

QString LeftChars(const QString& text, qsizetype n) {
    return text.left(UnitOffset(text, n));
}

QString MidChars(const QString& text, qsizetype position, qsizetype n) {
    if (position < 0)
        position = 0;
    const qsizetype begin = UnitOffset(text, position);
    if (n < 0)
        return text.mid(begin);
    const qsizetype end = begin + UnitOffset(QStringView(text).mid(begin), n);
    return text.mid(begin, end - begin);
}

QString ChopChars(const QString& text, qsizetype n) {
    const qsizetype count = CharCount(text);
    return n >= count ? QString() : LeftChars(text, count - n);
}

qsizetype IndexOfChars(QStringView text, QStringView what, qsizetype from) {
    if (what.isEmpty())
        return -1;
    for (qsizetype p = text.indexOf(what, from); p >= 0; p = text.indexOf(what, p + 1)) {
        if (!splitsPair(text, p) && !splitsPair(text, p + what.size()))
            return p;
    }
    return -1;
}

bool HasStraySurrogate(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (pairAt(text, i)) {
            ++i;
            continue;
        }
        const char16_t c = text[i].unicode();
        if (QChar::isSurrogate(c) && !(c >= 0xDC80 && c <= 0xDCFF))
            return true;
    }
    return false;
}
