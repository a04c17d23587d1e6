#include "app/dialogs/RenamePreviewDialog.h"
#include "app/dialogs/ScreenCentre.h"

#include "commands/Prompts.h"
#include "core/FileName.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

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
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A long name keeps its start and its end; the tooltip gives it whole.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setWordWrap(false);
    table_->setMinimumSize(fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 8);
    table_->viewport()->installEventFilter(this);
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
    // A row with a note (a file that would not simply be renamed) is tinted to stand out.
    const QColor base = palette().color(QPalette::Base);
    const QColor mark = palette().color(QPalette::Highlight);
    const QBrush noted(QColor::fromRgbF(base.redF() * 0.8f + mark.redF() * 0.2f,
                                        base.greenF() * 0.8f + mark.greenF() * 0.2f,
                                        base.blueF() * 0.8f + mark.blueF() * 0.2f));
    for (int i = 0; i < rows.size(); ++i) {
        const QString texts[] = {DisplayFileName(rows[i].oldName), DisplayFileName(rows[i].newName),
                                 rows[i].note};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(texts[column]);
            if (!rows[i].note.isEmpty())
                item->setBackground(noted);
            table_->setItem(i, column, item);
        }
    }
    growToContent();
    shareColumns();
}

const QAbstractItemView* RenamePreviewDialog::view() const {
    return table_; // the table hides the item view's public measures of its contents
}

void RenamePreviewDialog::growToContent() {
    const QHeaderView* header = table_->horizontalHeader();
    int width = 2 * table_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table_);
    for (int column = 0; column < 3; ++column)
        width += std::max(view()->sizeHintForColumn(column), header->sectionSizeHint(column));
    const int rows = table_->rowCount();
    const int height = 2 * table_->frameWidth() + header->sizeHint().height() +
                       (rows > 0 ? rows * view()->sizeHintForRow(0) : 0);
    const QSize tableHint = table_->sizeHint().expandedTo(table_->minimumSize());
    const QSize wanted = sizeHint() + QSize(width, height) - tableHint;
    const QSize room = ScreenRoom(*this);
    // Only grows: a size the user chose, or a longer list shown before, stays.
    resize(wanted.expandedTo(isVisible() ? size() : QSize()).boundedTo(room));
    if (isVisible())
        KeepOnScreen(this);
}

void RenamePreviewDialog::shareColumns() {
    const int available = table_->viewport()->width();
    const int note = std::max(view()->sizeHintForColumn(2), table_->horizontalHeader()->sectionSizeHint(2));
    const int names = std::max(0, available - note);
    const int oldWants = std::max(1, view()->sizeHintForColumn(0));
    const int newWants = std::max(1, view()->sizeHintForColumn(1));
    // The new names, what the preview is for, get their whole width first, up to two thirds.
    int newWidth = int(qint64(names) * newWants / (oldWants + newWants));
    newWidth = std::clamp(std::max(newWidth, newWants), names / 3, names - names / 3);
    const int oldWidth = names - newWidth;
    QHeaderView* header = table_->horizontalHeader();
    header->resizeSection(0, oldWidth);
    header->resizeSection(1, names - oldWidth);
    header->resizeSection(2, available - names);
}

void RenamePreviewDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    growToContent(); // the window system's frame may be known now, and takes room from the screen
}

bool RenamePreviewDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_->viewport() && event->type() == QEvent::Resize)
        shareColumns();
    return QDialog::eventFilter(watched, event);
}
