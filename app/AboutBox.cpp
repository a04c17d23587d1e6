#include "app/AboutBox.h"

#include "app/dialogs/ScreenCentre.h"

#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextOption>

namespace {

constexpr int kClientWidth = 257;
constexpr int kClientHeight = 217;
constexpr int kCounterLine = 9; // the tenth line

QString CounterLine(int32_t uses) {
    return QStringLiteral("You have tagged ") + QString::number(uses) + QStringLiteral(" files");
}

} // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);

    lines_ = {
        QStringLiteral("Morwick"),
        QString(),
        QStringLiteral("(version 1.2 / July 2004)"),
        QString(),
        QStringLiteral("by the Morwick team, made with Qt"),
        QString(),
        QStringLiteral("e-mail: ") + QLatin1String(kMorwickEmail),
        QStringLiteral("web: ") + QLatin1String(kMorwickWeb),
        QString(),
        CounterLine(0),
    };

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("aboutText"));
    text_->setGeometry(8, 8, kClientWidth - 16, 166);
    text_->setReadOnly(true);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setFocusPolicy(Qt::NoFocus);
    text_->setContextMenuPolicy(Qt::NoContextMenu);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Painted like the dialog itself, so the text reads as part of the box.
    QPalette memoPalette = text_->palette();
    memoPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    text_->setPalette(memoPalette);
    QTextOption centred = text_->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    text_->document()->setDefaultTextOption(centred);
    text_->setPlainText(lines_.join(QLatin1Char('\n')));

    okButton_ = new QPushButton(QStringLiteral("&Ok"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setGeometry((kClientWidth - 75) / 2, kClientHeight - 35, 75, 25);
    okButton_->setDefault(true);
    okButton_->setAutoDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::setLine(int index, const QString& text) {
    lines_[index] = text;
    text_->setPlainText(lines_.join(QLatin1Char('\n')));
}

void AboutBox::showCounter() {
    setLine(kCounterLine, CounterLine(taggedFiles_));
}

void AboutBox::showEvent(QShowEvent* event) {
    showCounter();
    CentreOnScreen(this); // whichever window owns the box
    QDialog::showEvent(event);
}

void AboutBox::keyPressEvent(QKeyEvent* event) {
    // There is no Cancel: only Ok (or Enter) closes the box.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AboutBox::setTaggedFiles(int32_t count) {
    taggedFiles_ = count;
}
