#include "app/dialogs/TagDialog.h"
#include "commands/EditTagsCommand.h"
#include "commands/Prompts.h"
#include "core/Id3Tag.h"
#include "core/Id3v2Tag.h"
#include "core/Journal.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/Mutagen.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace testfiles;

namespace {

const QString kAudio = QStringLiteral("cbr128-stereo-44k-noinfo.mp3");
const QString kSong = QStringLiteral("song.mp3");

QByteArray oldTrailer() {
    return tagBytes(makeTag("Old Song", "Old Band", "Old Album", "1999", "old", 3, 12));
}

QByteArray makeSong(const QString& shape, const QString& title, const QByteArray& trailer) {
    write(kSong, read(fixture(kAudio)));
    mutagen::runPeer({QStringLiteral("make"), shape, kSong, title});
    write(kSong, read(kSong) + trailer);
    return read(kSong);
}

QString text(QDialog& d, const char* field) {
    return Named<QLineEdit>(&d, field)->text();
}

} // namespace

// Edit tags with "Also use ID3v2 tags" on: the dialog shows the ID3v2 texts whole, and Save
// writes them whole into the ID3v2 tag (read back by mutagen, every other frame kept) and cut
// into the ID3v1 tag. With the setting off only the ID3v1 trailer changes, as always.
class TestEditTagsId3v2 : public QObject {
    Q_OBJECT

private:
    TagDialog* dialog_ = nullptr;
    std::unique_ptr<WorkDir> dir_;

    // Edit tags, its questions asked in the run's one dialog.
    BatchReport editTags(FakeSelection& files, ScriptedPrompts& prompts, bool useId3v2) {
        prompts.setTagDialog(dialog_);
        return EditTagsCommand({files, prompts}, useId3v2);
    }

private slots:
    void initTestCase() {
        if (!mutagen::Available())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        dialog_ = new TagDialog;
    }
    void cleanupTestCase() { delete dialog_; }
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void showsAndSavesWholeTexts_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("oldTitle"); // latin-1 for 2.2
        QTest::addColumn<bool>("trailer");
        const QString russian = QStringLiteral(u"Тихая ночь над рекой, где звёзды горят до самого утра");
        const QString title = QStringLiteral("Old Title");
        QTest::newRow("no ID3v2: the ID3v1 tag is shown") << "none" << title << true;
        QTest::newRow("2.3, picture and unknown frames, no room") << "v23" << title << true;
        QTest::newRow("2.3 with room, non-Latin title over 30 characters") << "v23-room" << russian << true;
        QTest::newRow("2.4 with footer") << "v24-footer" << russian << false;
        QTest::newRow("2.4 with room") << "v24-room" << title << true;
        QTest::newRow("2.2") << "v22" << title << false;
    }
    void showsAndSavesWholeTexts() {
        QFETCH(QString, shape);
        QFETCH(QString, oldTitle);
        QFETCH(bool, trailer);
        const QByteArray before = makeSong(shape, oldTitle, trailer ? oldTrailer() : QByteArray());
        const QVariantMap was = mutagen::dumpTag(kSong);
        const QString newArtist = QStringLiteral(u"Ансамбль «Северное сияние» и друзья из далёкого края");

        ScriptedPrompts prompts;
        QStringList shown;
        prompts.steps = {[&](QDialog& d) {
            shown = {text(d, "titleEdit"),
                     text(d, "artistEdit"),
                     text(d, "yearEdit"),
                     text(d, "trackEdit"),
                     Named<QComboBox>(&d, "genreCombo")->currentText(),
                     text(d, "commentEdit")};
            Named<QLineEdit>(&d, "artistEdit")->setText(newArtist);
            QTest::mouseClick(Named<QPushButton>(&d, "saveButton"), Qt::LeftButton);
        }};
        FakeSelection files({kSong});
        QCOMPARE(editTags(files, prompts, true).changed, 1);
        QCOMPARE(prompts.unexpected, 0);
        const bool v24 = shape.startsWith(u"v24");
        const QStringList expectShown = shape == u"none"
                                            ? QStringList{"Old Song", "Old Band", "1999", "3", "Other", "old"}
                                            : QStringList{oldTitle, "Old Artist", v24 ? "2001-05-06" : "2001",
                                                          "3/12",   "Rock",       "old comment"};
        QCOMPARE(shown, expectShown);

        // The ID3v2 tag holds the texts whole; the rest of it is kept.
        const QVariantMap now = mutagen::dumpTag(kSong);
        const QVariantMap texts = now.value("texts").toMap();
        const int version = shape.startsWith(u"v23") ? 3 : 4;
        QCOMPARE(now.value("version").toInt(), version);
        QCOMPARE(texts.value("TIT2").toString(), expectShown[0]);
        QCOMPARE(texts.value("TPE1").toString(), newArtist);
        QCOMPARE(texts.value(version == 3 ? "TYER" : "TDRC").toString(), expectShown[2]);
        QCOMPARE(texts.value("TRCK").toString(), expectShown[3]);
        QCOMPARE(texts.value("TCON").toString(), expectShown[4]);
        const QString frames = shape == u"v22" ? "converted" : "frames";
        const QVariantMap wasFrames = was.value(frames).toMap();
        const QVariantMap nowFrames = now.value(frames).toMap();
        for (auto it = wasFrames.begin(); it != wasFrames.end(); ++it) {
            if (!mutagen::isWritten(it.key(), Id3FieldMask{}))
                QCOMPARE(nowFrames.value(it.key()).toString(), it.value().toString());
        }
        QCOMPARE(now.value("unknown").toList(), was.value("unknown").toList());

        // The ID3v1 tag takes the texts cut to its widths and transliterated.
        const QByteArray after = read(kSong);
        ID3Tag id3v1{};
        std::memcpy(&id3v1, after.right(kTagSize).constData(), kTagSize);
        ID3Tag cut{};
        SetTextField(newArtist, cut.artist);
        QCOMPARE(QByteArray(id3v1.artist, kTextWidth), QByteArray(cut.artist, kTextWidth));
        QCOMPARE(int(id3v1.track), 3);
        QCOMPARE(after.sliced(Id3v2TagSize(after.first(10))).chopped(kTagSize),
                 before.sliced(Id3v2TagSize(before.first(10))).chopped(trailer ? kTagSize : 0));

        // Undo gives back both tags.
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(kSong), before);

        // With the setting off, the dialog takes the ID3v1 widths again and only the trailer changes.
        ScriptedPrompts offPrompts;
        offPrompts.steps = {[&](QDialog& d) {
            QCOMPARE(Named<QLineEdit>(&d, "titleEdit")->text().size() <= kTextWidth, true);
            QTest::mouseClick(Named<QPushButton>(&d, "saveButton"), Qt::LeftButton);
        }};
        FakeSelection offFiles({kSong});
        QCOMPARE(editTags(offFiles, offPrompts, false).changed, 1);
        const QByteArray off = read(kSong);
        QCOMPARE(off.chopped(kTagSize), before.chopped(trailer ? kTagSize : 0));
    }
};

QTEST_MAIN(TestEditTagsId3v2)
#include "TestEditTagsId3v2.moc"
