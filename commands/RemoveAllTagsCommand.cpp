#include "commands/RemoveAllTagsCommand.h"

#include "commands/Prompts.h"
#include "core/PlanAhead.h"
#include "core/TagRemoval.h"

#include <set>
#include <utility>

BatchReport RemoveAllTagsCommand(const BatchContext& context) {
    // The files' changes end in groups: one sync serves many files.
    ChangeGroup group;
    // The files are opened and read on a second thread, ahead of the changes made here.
    PlanAhead<TagLook> looks(context.files.selectedNames(),
                             [](const QString& name) { return LookForTags(name); });
    // A file met again under another name was looked at before the change made to it under the
    // first: it is looked at again.
    std::set<std::pair<dev_t, ino_t>> met;
    const auto remove = [&](const QString& name) {
        TagLook look = looks.next(name);
        if (!met.emplace(look.st.st_dev, look.st.st_ino).second) {
            look.file.close();
            return RemoveAllTags(group, name);
        }
        return RemoveAllTags(group, name, std::move(look));
    };
    const BatchReport report = RunBatch(
        context.files, context.progress,
        GroupedWork{
            [&](const QString& name) { return remove(name) ? BatchStep::Held : BatchStep::Unchanged; },
            [&] { group.finish(); }, [&] { return group.full(); }, [&] { return group.leftAlone(); }});
    NoticeLeftAlone(context.prompts, report.leftAlone);
    return report;
}
