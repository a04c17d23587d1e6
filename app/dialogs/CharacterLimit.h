#pragma once

class QLineEdit;

// QLineEdit::setMaxLength counts UTF-16 units, so a field of 30 takes only 15 emoji. This limits
// a field to `maxChars` characters (code points, as core/TextLength.h counts them) instead and
// otherwise behaves like setMaxLength: typing past the limit is refused, a paste or insert()
// keeps as much of its text as fits, and setText() keeps the first `maxChars` characters (so
// does the call itself with the field's present text). It lifts the field's own unit limit and
// installs a validator of its own, so the field must have no other validator. Calling it again
// changes the limit.
void SetMaxCharacters(QLineEdit* edit, int maxChars);

// The limit SetMaxCharacters gave the field, or -1 when it gave none.
int MaxCharacters(const QLineEdit* edit);
