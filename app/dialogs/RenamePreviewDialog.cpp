#include "app/dialogs/RenamePreviewDialog.h"

#include "commands/Prompts.h"
#include "core/FileName.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

RenamePreviewDialog::RenamePreviewDialog(const QStringList& selected, QList<RenameRule> rules,
                                         Prompts& prompts, QWidget* parent)
    : QDialog(parent), selected_(selected), rules_(std::move(rules)), prompts_(prompts) {
    setObjectName(QStringLiteral("renamePreviewDialog"));
    setWindowTitle(QStringLiteral("Preview renames"));
    ruleCombo_ = new QComboBox(this);
    ruleCombo_->setObjectName(QStringLiteral("ruleCombo"));
    ruleCombo_->addItems({QStringLiteral("Rename from tags"), QStringLiteral("Trim filenames"),
                          QStringLiteral("Search and replace")});
    auto* ruleLabel = new QLabel(QStringLiteral("&Command"), this);
    ruleLabel->setBuddy(ruleCombo_);
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName(QStringLiteral("previewTable"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Old name"), QStringLiteral("New name"), QStringLiteral("Note")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumSize(fontMetrics().averageCharWidth() * 100, fontMetrics().height() * 16);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* apply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::AcceptRole);
    apply->setObjectName(QStringLiteral("applyButton"));
    QPushButton* close = buttons->addButton(QStringLiteral("&Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ruleCombo_, &QComboBox::activated, this, &RenamePreviewDialog::choose);

    auto* ruleRow = new QHBoxLayout;
    ruleRow->addWidget(ruleLabel);
    ruleRow->addWidget(ruleCombo_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ruleRow);
    layout->addWidget(table_, 1);
    layout->addWidget(buttons);
    fill();
}

void RenamePreviewDialog::choose(int index) {
    if (index < 0 || index >= rules_.size())
        return;
    if (rules_[index].kind == RenameRule::Kind::Replace) {
        // The same two questions as the command, starting empty.
        const QString caption = QStringLiteral("Search & replace text in filenames");
        QString search, replacement;
        if (!prompts_.inputQuery(caption, QStringLiteral("Search for [case-sensitive]"), search) ||
            !prompts_.inputQuery(caption, QStringLiteral("Replace with"), replacement)) {
            ruleCombo_->setCurrentIndex(current_);
            return;
        }
        rules_[index].search = search;
        rules_[index].replacement = replacement;
    }
    current_ = index;
    ruleCombo_->setCurrentIndex(index);
    fill();
}

void RenamePreviewDialog::fill() {
    const QList<PreviewRow> rows = PreviewRenames(selected_, rule());
    table_->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const QString texts[] = {DisplayFileName(rows[i].oldName), DisplayFileName(rows[i].newName),
                                 rows[i].note};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(texts[column]);
            table_->setItem(i, column, item);
        }
    }
    table_->resizeColumnsToContents();
}
