#pragma once

// The benchmark tasks, one file each. Every task times Morwick against its floor (the least the
// kernel must do for the same change), then the installed peers, and adds its table to the report.

#include "bench/BenchData.h"
#include "bench/BenchPeers.h"
#include "bench/BenchSupport.h"
#include "bench/BenchWindow.h"

// The window on the small set's folder, format TrackTitle, every mark (the default), the fields set.
void prepareTagFields(BenchWindow& window, const SmallSet& set);
// The same on the folder the window shows.
void setTagFields(BenchWindow& window);
// The least a tag write can do: read the trailer, write it back.
void floorTag(const std::string& path);
// The least a listing can do: read the folder, keep the MP3 names, sort them. Returns how many.
size_t floorList(const char* dir);

// Tag files over the small set; leaves every file tagged as Morwick tags it.
void TagFilesBench(const Config& cfg, BenchWindow& window, const SmallSet& set, Report& report);
// Tag files with "Also use ID3v2 tags" on over the small set's names in a folder of their own,
// half the files with an ID3v2 tag that has room, half with one that has none.
void TagFilesId3v2Bench(const Config& cfg, BenchWindow& window, const SmallSet& set, const Audio& audio,
                        Report& report);
// ReadMp3Info and Copy tag over the small set.
void ReadTagsBench(const Config& cfg, BenchWindow& window, const SmallSet& set, Report& report);
// Rename from tags over the rename set; leaves the files under their plain names.
void RenameFromTagsBench(const Config& cfg, BenchWindow& window, const RenameSet& set, Report& report);
// Trim filenames over the rename set, from the plain names; leaves the untidy names.
void TrimBench(const Config& cfg, BenchWindow& window, const RenameSet& set, Report& report);
// Opening a folder of cfg.folderFiles files in the window.
void OpenFolderBench(const Config& cfg, BenchWindow& window, const QString& root, Report& report);
// Remove all tags over the large set: a leading ID3v2 and a trailing ID3v1 (a rewrite).
void RemoveLeadingBench(const Config& cfg, BenchWindow& window, const BigSet& set, Report& report);
// Remove all tags over the large set: a trailing ID3v1 only (a truncation).
void RemoveTrailingBench(const Config& cfg, BenchWindow& window, const BigSet& set, Report& report);
// The peers that remove tags, each checked on the set's files being bare streams afterwards.
std::vector<Peer> tagRemovers(const BigSet& set);
// Per-file cost of opening a folder, Tag files and Rename from tags at each of cfg.scaleFiles
// files, and the window's memory with each folder open (in a process of its own).
void ScaleBench(const Config& cfg, BenchWindow& window, const QString& root, const Audio& audio,
                Report& report);
// The mode of this program that ScaleBench runs: the window alone, then on `dir`, then after Tag
// files over it; the memory figures (KiB) written to `reportFile`. Returns the exit status.
int rssWindow(int argc, char** argv, const char* dir, const char* reportFile);

// Peak memory of RemoveAllTags on one very large file, in a process of its own (this program
// run with --rss-child), beside the peers'.
void MemoryBench(const Config& cfg, const QString& root, const Audio& audio, Report& report);

// The modes of this program that MemoryBench runs: the peak memory of the program alone, and
// of RemoveAllTags on `path`, each written to `reportFile` in KiB. Return the exit status.
int rssIdle(const char* reportFile);
int rssChild(const char* path, const char* reportFile);

// The start-up of morwick-cli and of the peers, each a whole process tagging one file and
// showing one, medians of many runs.
void StartupBench(const Config& cfg, const QString& root, const Audio& audio, Report& report);

// Each task's figures against its target.
void printTargets(const Report& report);
