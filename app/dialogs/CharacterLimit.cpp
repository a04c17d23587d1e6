#include "app/dialogs/CharacterLimit.h"

#include "core/TextLength.h"

#include <QLineEdit>
#include <QValidator>
#include <algorithm>

namespace {

// The unit limit QLineEdit starts with.
constexpr int kQtDefaultMaxLength = 32767;

// Keeps a field within a number of characters. QLineEdit validates every change of its text
// after the fact, the cursor standing after whatever was put in; the validator remembers the
// text it last let through and, from that, tells the inserted text apart from what was there.
class CharacterLimitValidator : public QValidator {
public:
    CharacterLimitValidator(int maxChars, QLineEdit* edit) : QValidator(edit), edit_(edit), max_(maxChars) {}

    int maxChars() const { return max_; }
    void setMaxChars(int maxChars) { max_ = maxChars; }
    void accept(const QString& text) { last_ = text; }

    State validate(QString& input, int& pos) const override {
        if (CharCount(input) <= max_) {
            last_ = input;
            return Acceptable;
        }
        const QString fitted = fit(input, pos);
        // A typed or inserted text of which nothing fits: refusing the change lets QLineEdit
        // undo it, which keeps its undo history. An edit is "modified" while being validated;
        // setText() is not, and must instead be cut.
        if (fitted == last_ && edit_->isModified())
            return Invalid;
        input = fitted;
        last_ = input;
        return Acceptable;
    }

private:
    // The text with as much of the inserted part as fits; `pos` ends up after what was kept.
    QString fit(const QString& input, int& pos) const {
        const qsizetype cursor = std::clamp<qsizetype>(pos, 0, input.size());
        const QStringView tail = QStringView(input).mid(cursor);
        if (!QStringView(last_).endsWith(tail)) {
            // Not an insertion before the cursor: keep the first characters, as setText() does.
            QString out = LeftChars(input, max_);
            pos = int(std::min<qsizetype>(cursor, out.size()));
            return out;
        }
        // The new text starts where the input first differs from the old one (not past the
        // old text's kept tail, and not inside a pair) and runs up to the cursor.
        const qsizetype headLimit = std::min(cursor, last_.size() - tail.size());
        qsizetype start = 0;
        while (start < headLimit && input[start] == last_[start])
            ++start;
        if (start > 0 && input[start - 1].isHighSurrogate() && input[start].isLowSurrogate())
            --start;
        const QStringView head = QStringView(input).first(start);
        const qsizetype room = max_ - CharCount(head) - CharCount(tail);
        if (room < 0) {
            QString out = LeftChars(input, max_);
            pos = int(std::min<qsizetype>(cursor, out.size()));
            return out;
        }
        const QString kept = LeftChars(input.mid(start, cursor - start), room);
        pos = int(start + kept.size());
        return head.toString() + kept + tail.toString();
    }

    QLineEdit* edit_;
    int max_;
    mutable QString last_;
};

CharacterLimitValidator* limitOf(const QLineEdit* edit) {
    return dynamic_cast<CharacterLimitValidator*>(const_cast<QValidator*>(edit->validator()));
}

} // namespace

void SetMaxCharacters(QLineEdit* edit, int maxChars) {
    CharacterLimitValidator* limit = limitOf(edit);
    if (limit == nullptr) {
        limit = new CharacterLimitValidator(maxChars, edit);
        edit->setValidator(limit);
    } else {
        limit->setMaxChars(maxChars);
    }
    edit->setMaxLength(kQtDefaultMaxLength);
    const QString text = edit->text();
    limit->accept(text);
    if (CharCount(text) > maxChars)
        edit->setText(LeftChars(text, maxChars));
}

int MaxCharacters(const QLineEdit* edit) {
    const CharacterLimitValidator* limit = limitOf(edit);
    return limit == nullptr ? -1 : limit->maxChars();
}
