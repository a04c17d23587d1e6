#pragma once

class QComboBox;
class QLineEdit;

// The main window's batch tag fields, as Tag files and Copy tag use them.
struct BatchTagFields {
    QLineEdit* artist = nullptr;  // Edit1, 30 characters
    QLineEdit* album = nullptr;   // Edit2, 30
    QLineEdit* year = nullptr;    // Edit3, 4
    QLineEdit* comment = nullptr; // Edit4, 28
    QComboBox* genre = nullptr;   // ComboBox1
};

// The seven "Set ID3 fields" marks: which tag fields Tag files writes.
struct Id3FieldMask {
    bool title = true;
    bool artist = true;
    bool album = true;
    bool year = true;
    bool comment = true;
    bool track = true;
    bool genre = true;
};
