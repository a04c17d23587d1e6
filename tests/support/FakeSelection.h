#pragma once

#include "core/Batch.h"

#include <QList>
#include <QStringList>

// The file list as a batch command sees it: fixed names, each with a selection mark, and a
// count of re-reads. A re-read clears every mark, as the real list's does.
class FakeSelection : public FileSelection {
public:
    FakeSelection(QStringList names, QList<bool> selected)
        : names(std::move(names)), selected(std::move(selected)) {}
    // Every name selected.
    explicit FakeSelection(QStringList all) : FakeSelection(all, QList<bool>(all.size(), true)) {}

    int count() const override { return int(names.size()); }
    const QString& name(int index) const override { return names.at(index); }
    bool isSelected(int index) const override { return selected.at(index); }
    void deselect(int index) override { selected[index] = false; }
    void reselect(int index) override { selected[index] = true; }
    void reread() override {
        ++rereads;
        selected.fill(false);
    }

    QStringList names;
    QList<bool> selected;
    int rereads = 0;
};
