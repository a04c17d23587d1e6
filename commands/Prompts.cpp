#include "commands/Prompts.h"

void NoticeLeftAlone(Prompts& prompts, int count) {
    if (count == 1)
        prompts.notice(
            QStringLiteral("1 file was changed by another program while Morwick worked and was left alone."));
    if (count > 1)
        prompts.notice(
            QStringLiteral(
                "%1 files were changed by another program while Morwick worked and were left alone.")
                .arg(count));
}
