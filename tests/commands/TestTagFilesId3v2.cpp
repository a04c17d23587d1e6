#include "app/dialogs/TagDialog.h"
#include "commands/Prompts.h"
#include "commands/TagFilesCommand.h"
#include "core/Id3Tag.h"
#include "core/Id3v2Tag.h"
#include "core/Journal.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/Mutagen.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace testfiles;

namespace {

const QString kAudio = QStringLiteral("cbr128-stereo-44k-noinfo.mp3");

// The fixture's audio behind a tag of mutagen's `shape` and, when given, before an ID3v1 trailer.
QByteArray makeSong(const QString& name, const QString& shape, const QByteArray& trailer) {
    write(name, read(fixture(kAudio)));
    mutagen::runPeer({QStringLiteral("make"), shape, name, QStringLiteral("Old Title")});
    write(name, read(name) + trailer);
    return read(name);
}

QByteArray oldTrailer() {
    return tagBytes(makeTag("Old Song", "Old Band", "Old Album", "1999", "old", 3, 12));
}

// The file without its leading ID3v2 tag and its last `trailer` bytes: the audio.
QByteArray audioOf(const QByteArray& file, int trailer) {
    return file.sliced(Id3v2TagSize(file.first(10))).chopped(trailer);
}

} // namespace

// Tag files with "Also use ID3v2 tags" on: each file's ID3v2 tag, read back by mutagen, holds the
// texts written (whole, in Unicode) and every other frame as it was; the ID3v1 trailer is what the
// setting off writes, and with it off nothing else changes. Undo gives every file back byte for byte.
class TestTagFilesId3v2 : public QObject {
    Q_OBJECT

private:
    TagDialog* dialog_ = nullptr;
    std::unique_ptr<WorkDir> dir_;

    BatchReport tagFiles(const QStringList& names, ScriptedPrompts& prompts, bool useId3v2) {
        TagFieldValues values;
        values.artist = QStringLiteral(u"Ансамбль «Северное сияние» и друзья из далёкого края");
        values.album = QStringLiteral("First Album");
        values.year = QStringLiteral("2004");
        values.comment = QStringLiteral("a comment");
        values.genre = GenreIndex(QStringLiteral("Pop"));
        FakeSelection files(names);
        prompts.setTagDialog(dialog_);
        return TagFilesCommand({files, prompts}, {values, FilenameFormat::TrackTitle, true, false, useId3v2});
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

    void writesBothTags_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("trailer"); // the file has an ID3v1 trailer already
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("inPlace");
        const QString title = QStringLiteral("First Song");
        const QString russian = QStringLiteral(u"Тихая ночь над рекой, где звёзды горят до утра");
        QTest::newRow("no ID3v2, no trailer") << "none" << false << title << false;
        QTest::newRow("2.3, picture and unknown frames, no room") << "v23" << true << title << false;
        QTest::newRow("2.3 with room") << "v23-room" << true << title << true;
        QTest::newRow("2.4 with footer") << "v24-footer" << false << title << false;
        QTest::newRow("2.4 with room") << "v24-room" << true << title << true;
        QTest::newRow("2.2") << "v22" << true << title << false;
        QTest::newRow("non-Latin title over 30 characters") << "v23-room" << true << russian << true;
    }
    void writesBothTags() {
        QFETCH(QString, shape);
        QFETCH(bool, trailer);
        QFETCH(QString, title);
        QFETCH(bool, inPlace);
        const QString name = QStringLiteral("01. ") + title + QStringLiteral(".mp3");
        const QByteArray before = makeSong(name, shape, trailer ? oldTrailer() : QByteArray());
        const QVariantMap was = mutagen::dumpTag(name);

        // The long artist and (in one row) title are offered for shortening: the ID3v1 tag
        // takes what the prompt saves, the ID3v2 tag the whole texts.
        const auto shorten = [](QDialog& d) {
            for (const char* field : {"titleEdit", "artistEdit"}) {
                auto* edit = Named<QLineEdit>(&d, field);
                if (edit->isEnabled())
                    edit->setText(QStringLiteral("Short"));
            }
            QTest::mouseClick(Named<QPushButton>(&d, "saveButton"), Qt::LeftButton);
        };
        const bool longTitle = title.size() > kTextWidth;
        ScriptedPrompts prompts;
        prompts.steps = {shorten};
        if (longTitle)
            prompts.steps.append(shorten);
        const BatchReport report = tagFiles({name}, prompts, true);
        QCOMPARE(report.changed, 1);
        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(prompts.showings, longTitle ? 2 : 1);
        const QByteArray after = read(name);
        QCOMPARE(Id3v2TagSize(after.first(10)) == Id3v2TagSize(before.first(10)), inPlace);
        QCOMPARE(audioOf(after, kTagSize), audioOf(before, trailer ? kTagSize : 0));
        const ID3Tag id3v1 = makeTag(longTitle ? "Short" : "First Song", "Short", "First Album", "2004",
                                     "a comment", 1, GenreIndex(QStringLiteral("Pop")));
        QCOMPARE(after.right(kTagSize), tagBytes(id3v1));

        // mutagen reads the texts written, whole.
        const QVariantMap now = mutagen::dumpTag(name);
        const int version = shape.startsWith(u"v23") ? 3 : 4;
        QCOMPARE(now.value("version").toInt(), version);
        const QVariantMap texts = now.value("texts").toMap();
        QCOMPARE(texts.value("TIT2").toString(), title);
        QCOMPARE(texts.value("TPE1").toString(),
                 QStringLiteral(u"Ансамбль «Северное сияние» и друзья из далёкого края"));
        QCOMPARE(texts.value("TALB").toString(), QStringLiteral("First Album"));
        QCOMPARE(texts.value(version == 3 ? "TYER" : "TDRC").toString(), QStringLiteral("2004"));
        QCOMPARE(texts.value("TRCK").toString(), QStringLiteral("1"));
        QCOMPARE(texts.value("TCON").toString(), QStringLiteral("Pop"));
        QCOMPARE(now.value("comments").toList(), (QVariantList{QVariantList{"eng", "a comment"}}));
        // Every other frame as it was: byte for byte where the version is kept, as converted
        // from 2.2.
        const Id3FieldMask all;
        const QString frames = shape == u"v22" ? "converted" : "frames";
        const QVariantMap wasFrames = was.value(frames).toMap();
        const QVariantMap nowFrames = now.value(frames).toMap();
        for (auto it = wasFrames.begin(); it != wasFrames.end(); ++it) {
            if (!mutagen::isWritten(it.key(), all))
                QCOMPARE(nowFrames.value(it.key()).toString(), it.value().toString());
        }
        for (auto it = nowFrames.begin(); it != nowFrames.end(); ++it) {
            if (!mutagen::isWritten(it.key(), all))
                QVERIFY2(wasFrames.contains(it.key()), qPrintable(it.key()));
        }
        QCOMPARE(now.value("unknown").toList(), was.value("unknown").toList());

        // Undo gives the file back byte for byte.
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(name), before);

        // With the setting off, only the trailer changes, and it is the same trailer.
        ScriptedPrompts offPrompts;
        offPrompts.steps = prompts.steps;
        tagFiles({name}, offPrompts, false);
        QCOMPARE(offPrompts.unexpected, 0);
        QCOMPARE(read(name), before.chopped(trailer ? kTagSize : 0) + tagBytes(id3v1));
    }

    // One batch over files whose tags have room and files whose tags do not: every file is
    // written, and one undo gives them all back.
    void undoAfterABatch() {
        QStringList names;
        QList<QByteArray> before;
        const QStringList shapes{"none", "v23", "v23-room", "v24-footer", "v24-room", "v22"};
        for (int i = 0; i < shapes.size(); ++i) {
            names << QStringLiteral("%1. Song %2.mp3").arg(i + 1, 2, 10, QLatin1Char('0')).arg(i);
            before << makeSong(names.last(), shapes[i], i % 2 ? oldTrailer() : QByteArray());
        }
        // A read-only file is tagged as Tag files always tags one: it gets the owner-write bit.
        QVERIFY(QFile::setPermissions(names[1], QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        ScriptedPrompts prompts;
        for (int i = 0; i < shapes.size(); ++i)
            prompts.steps.append([](QDialog& d) { d.reject(); }); // the long artist: left cut
        QCOMPARE(tagFiles(names, prompts, true).changed, int(names.size()));
        QVERIFY(QFile::permissions(names[1]) & QFileDevice::WriteOwner);
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray after = read(names[i]);
            const std::optional<Id3v2Parsed> parsed =
                ParseId3v2Tag(after.first(Id3v2TagSize(after.first(10))));
            QVERIFY(parsed);
            QCOMPARE(parsed->texts.title, QStringLiteral("Song %1").arg(i));
        }
        QCOMPARE(UndoLastCommand().restored, int(names.size()));
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(read(names[i]), before[i]);
        QCOMPARE(QFile::permissions(names[1]) & QFileDevice::WriteOwner, QFileDevice::Permissions());
    }
};

QTEST_MAIN(TestTagFilesId3v2)
#include "TestTagFilesId3v2.moc"
