#include "commands/EditTagsCommand.h"

#include "commands/Prompts.h"
#include "commands/TagDialog.h"
#include "core/AnsiText.h"
#include "core/FileName.h"
#include "core/Mp3Info.h"
#include "core/StreamInfo.h"
#include "core/TagFile.h"

BatchReport EditTagsCommand(const BatchContext& context, TagDialog& dialog) {
    return RunBatch(
        context.files, context.progress,
        [&](const QString& name) {
            dialog.setFileName(DisplayFileName(name));
            const Mp3Info info = ReadMp3Info(name);
            dialog.setWindowTitle(QStringLiteral("Edit"));
            dialog.setTag(
                {info.title, info.artist, info.album, info.year, info.comment, info.track, info.genre});
            dialog.setStreamFacts(StreamInfoLines(info));
            dialog.setAllEditable(true);
            if (context.prompts.showModal(dialog) != QDialog::Accepted)
                return BatchStep::Unchanged;

            TagTexts edited = dialog.tag();
            for (QString* text : {&edited.title, &edited.artist, &edited.album, &edited.comment})
                *text = TrimControl(*text);
            dialog.setTag(edited); // the fields show what is written
            FileTag fileTag{EmptyTag(), info.hasTag};
            SetTagFields(fileTag.tag, edited);
            return WriteTag(name, fileTag) ? BatchStep::Changed : BatchStep::Unchanged;
        },
        /*reread=*/false);
}
