#pragma once

class QComboBox;

// Genre drop-downs: the 145 genre names and one empty entry, sorted, the empty one first.
void FillGenreList(QComboBox* list);
// Shows a stored genre byte: its name's entry for 0..144, the empty first entry otherwise.
void SelectGenre(QComboBox* list, int genre);
// The genre byte for the chosen entry: GenreIndex of its text (the empty entry gives 255).
int ChosenGenre(const QComboBox* list);
