#include "core/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <memory>
#include <unicode/utrans.h>

namespace {

constexpr char kUnmappable = '?';

bool isAscii(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

struct TransliteratorCloser {
    void operator()(UTransliterator* t) const { utrans_close(t); }
};

// ICU's Latin-ASCII rules, opened once: they reduce a Latin letter to its plain form.
UTransliterator* latinToAscii() {
    static const std::unique_ptr<UTransliterator, TransliteratorCloser> instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        UTransliterator* t = utrans_openU(u"Latin-ASCII", -1, UTRANS_FORWARD, nullptr, 0, nullptr, &status);
        return std::unique_ptr<UTransliterator, TransliteratorCloser>(U_SUCCESS(status) ? t : nullptr);
    }();
    return instance.get();
}

// One code point (one or two UTF-16 units) to Windows-1252, or an empty array.
QByteArray encodeStrict(QStringView unit) {
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder(unit);
    return encoder.hasError() ? QByteArray() : bytes;
}

QByteArray transliterate(QStringView unit) {
    UTransliterator* t = latinToAscii();
    if (t == nullptr)
        return {};
    UChar buffer[32];
    int32_t length = int32_t(unit.size());
    for (qsizetype i = 0; i < unit.size(); ++i)
        buffer[i] = unit[i].unicode();
    int32_t limit = length;
    UErrorCode status = U_ZERO_ERROR;
    utrans_transUChars(t, buffer, &length, int32_t(std::size(buffer)), 0, &limit, &status);
    if (U_FAILURE(status))
        return {};
    const QString plain = QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), length);
    if (plain == unit)
        return {};
    QByteArray out;
    for (QChar c : plain) {
        if (c.unicode() >= 0x80)
            return {};
        out.append(char(c.unicode()));
    }
    return out;
}

} // namespace

QByteArray ToAnsi(const QString& text) {
    if (isAscii(text))
        return text.toLatin1();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            out.append(char(c.unicode()));
            continue;
        }
        qsizetype len = 1;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            len = 2;
        const QStringView unit = QStringView(text).mid(i, len);
        i += len - 1;
        QByteArray bytes = encodeStrict(unit);
        if (bytes.isEmpty())
            bytes = transliterate(unit);
        out.append(bytes.isEmpty() ? QByteArray(1, kUnmappable) : bytes);
    }
    return out;
}

QString FromAnsi(const char* bytes, qsizetype size) {
    bool ascii = true;
    for (qsizetype i = 0; i < size && ascii; ++i)
        ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes, size);
    QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
    return decoder(QByteArrayView(bytes, size));
}

QString TrimControl(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}
