#include "app/About.h"

#include "core/ProgramOptions.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextOption>

namespace {

constexpr int kClientWidth = 257;
constexpr int kClientHeight = 217;
constexpr int kCounterLine = 9; // the tenth line

QString CounterLine(int32_t uses) {
    return QStringLiteral("You have tagged ") + QString::number(uses) + QStringLiteral(" files");
}

} // namespace

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Form3"));
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

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 8, kClientWidth - 16, 166);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setContextMenuPolicy(Qt::NoContextMenu);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Painted like the dialog itself, so the text reads as part of the box.
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    Memo1->setPalette(memoPalette);
    QTextOption centred = Memo1->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    Memo1->document()->setDefaultTextOption(centred);
    Memo1->setPlainText(lines_.join(QLatin1Char('\n')));

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry((kClientWidth - 75) / 2, kClientHeight - 35, 75, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm3::setLine(int index, const QString& text) {
    lines_[index] = text;
    Memo1->setPlainText(lines_.join(QLatin1Char('\n')));
}

void TForm3::FormShow() {
    setLine(kCounterLine, CounterLine(Options.uses));
}

void TForm3::showEvent(QShowEvent* event) {
    FormShow();
    // Centred on the screen, whichever window owns the box.
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

void TForm3::keyPressEvent(QKeyEvent* event) {
    // There is no Cancel: only Ok (or Enter) closes the box.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
