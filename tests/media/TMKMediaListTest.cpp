#include "media/TMKMediaList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class TempTree {
public:
    TempTree()
    {
        std::string pattern = (fs::temp_directory_path() / "tamek-list-XXXXXX").string();
        root = mkdtemp(pattern.data());
    }
    ~TempTree()
    {
        std::error_code ignored;
        fs::permissions(root, fs::perms::owner_all, ignored);
        fs::remove_all(root, ignored);
    }
    void touch(const std::string& relative) const
    {
        const fs::path path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path).put('x');
    }
    std::string root;
};

class RecordingDelegate : public TMKMediaListDelegate {
public:
    void mediaListChanged(TMKMediaList* list) override
    {
        lastCount = list->count();
        ++calls;
    }
    std::atomic<int> calls{0};
    std::atomic<std::size_t> lastCount{0};
};

std::vector<std::string> rowNames(const TMKMediaList& list)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list.count(); ++i)
        names.push_back(list.mediaAtIndex(i)->mediaName);
    return names;
}

TEST(TMKMediaList, NamesPairsAndScansOfACard)
{
    EXPECT_TRUE(TMKMediaList::createMediaByPath("/c/alwa_20150101_120000_F.avi"));
    EXPECT_TRUE(TMKMediaList::createMediaByPath("/c/xxxxx20150101_120000_R.avi"));
    EXPECT_FALSE(TMKMediaList::createMediaByPath("/c/alwa_20150101_120000_F_1.avi"));
    EXPECT_FALSE(TMKMediaList::createMediaByPath("/c/._event_20150101_120000_F.avi"));
    EXPECT_FALSE(TMKMediaList::createMediaByPath("/c/._motion_20150101_120000_F.avi"));
    EXPECT_FALSE(TMKMediaList::createMediaByPath("/c/clip.avi"));
    EXPECT_TRUE(TMKMediaList::_checkTimeByName("alwa_20150101_120000", 5));
    EXPECT_FALSE(TMKMediaList::_checkTimeByName("alwa_2015", 5));
    EXPECT_EQ(TMKMediaList::pairKeyForFileName("/x/alwa_20150101_120000_F.avi"), "alwa_20150101_120000");
    EXPECT_EQ(TMKMediaList::pairKeyForFileName("alwa_20150101_120000_R"), "alwa_20150101_120000");
    EXPECT_EQ(TMKMediaList::pairKeyForFileName("alwa_20150101_120000_f.avi"), "alwa_20150101_120000_f");

    // Added files go into pairs by name; of two for one side the later wins.
    TMKMediaList added;
    const auto first = TMKMedia::mediaWithPath("/a/alwa_20150101_120000_F.avi");
    const auto second = TMKMedia::mediaWithPath("/b/alwa_20150101_120000_F.avi");
    const auto unknown = TMKMedia::mediaWithPath("/a/alwa_20150101_120000_F_1.avi");
    added.addMedia(first);
    added.addMedia(second);
    added.addMedia(unknown);
    EXPECT_EQ(added.count(), 3u);
    const auto addedPair = added.findMediaPairWithFileName("alwa_20150101_120000_R.avi");
    ASSERT_TRUE(addedPair);
    EXPECT_EQ(addedPair->frontMedia, second);
    EXPECT_FALSE(addedPair->rearMedia);

    // One card: pairs sorted by date, division and side, other files skipped,
    // folders walked but not taken. A FIFO, a device or a dangling link named
    // like a recording is a row, so the list can say why it does not play (the
    // health check names it). Links back into the tree are not walked again;
    // an unreadable folder is skipped.
    TempTree tree;
    tree.touch("alwa_20150101_120000_R.avi");
    tree.touch("alwa_20150101_120000_F.avi");
    tree.touch("alwa_20150101_115900_F.avi");
    tree.touch("alwa_20150101_120100_f.avi"); // suffix is case-sensitive
    tree.touch("notes.txt");
    tree.touch("deep/er/event_20150101_120000_F.AVI");
    tree.touch("other/event_20150101_120000_R.avi"); // pairs across folders
    tree.touch("._alwa_20150101_130000_F.avi");
    tree.touch("store/kept.bin");
    tree.touch("locked/alwa_20150101_140000_F.avi");
    const fs::path root(tree.root);
    fs::create_directories(root / "folder_20150101_120000_F.avi"); // walked, not taken
    ASSERT_EQ(::mkfifo((root / "alwa_20150101_120200_F.avi").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", root / "alwa_20150101_120300_F.avi");
    fs::create_symlink(root / "store/kept.bin", root / "alwa_20150101_120400_F.avi");
    fs::create_symlink(root / "missing.bin", root / "alwa_20150101_120500_F.avi");
    fs::create_directory_symlink(root, root / "deep" / "loop");
    fs::create_directory_symlink(root / "deep", root / "again");
    const bool locked = geteuid() != 0; // root reads every folder
    if (locked)
        fs::permissions(root / "locked", fs::perms::none);

    RecordingDelegate delegate;
    TMKMediaList list;
    list.setDelegate(&delegate);
    list.setDirectoryPath(tree.root);
    list.waitUntilIdle();
    fs::permissions(root / "locked", fs::perms::owner_all);

    std::vector<std::string> expected = {"._alwa_20150101_130000_F", "alwa_20150101_115900_F", "event_20150101_120000_F",
                                         "event_20150101_120000_R", "alwa_20150101_120000_F", "alwa_20150101_120000_R",
                                         "alwa_20150101_120200_F", "alwa_20150101_120300_F", "alwa_20150101_120400_F",
                                         "alwa_20150101_120500_F"};
    if (!locked)
        expected.push_back("alwa_20150101_140000_F");
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(delegate.lastCount, expected.size());
    EXPECT_EQ(rowNames(list), expected);
    EXPECT_EQ(list.mediaAtIndex(expected.size()), nullptr);

    const auto lonely = list.findMediaPairWithFileName("alwa_20150101_115900_F.avi");
    ASSERT_TRUE(lonely);
    EXPECT_FALSE(lonely->rearMedia);

    const auto event = list.findMediaPairWithFileName("/anywhere/event_20150101_120000_R.avi");
    ASSERT_TRUE(event);
    ASSERT_TRUE(event->frontMedia && event->rearMedia);
    EXPECT_NE(event->frontMedia->dir, event->rearMedia->dir);
    EXPECT_EQ(list.mediaPairDic().size(), expected.size() - 2);

    // Every row is reachable through its pair.
    for (const auto& media : list.medias()) {
        const auto pair = list.findMediaPairWithFileName(media->fileName());
        ASSERT_TRUE(pair);
        EXPECT_EQ(media->isFrontMedia() ? pair->frontMedia : pair->rearMedia, media);
    }

    // No path keeps the list; a folder that is not there empties it and
    // still tells the delegate.
    list.setDirectoryPath(std::nullopt);
    list.waitUntilIdle();
    EXPECT_EQ(list.count(), expected.size());
    list.setDirectoryPath(tree.root + "/does-not-exist");
    list.waitUntilIdle();
    EXPECT_EQ(delegate.calls, 2);
    EXPECT_EQ(list.count(), 0u);

    // A scan stops taking files at the limit; the newer scan wins.
    TempTree many;
    for (std::size_t i = 0; i < TMKMediaList::kMaxMedias + 20; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "alwa_2015%04zu_120000_F.avi", i);
        many.touch(name);
    }
    TMKMediaList::MediaArray found;
    TMKMediaList::eachDir(many.root, found);
    EXPECT_EQ(found.size(), TMKMediaList::kMaxMedias);

    TempTree big;
    for (int folder = 0; folder < 40; ++folder) {
        for (int i = 0; i < 100; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "d%02d/alwa_2015%02d%02d_120000_F.avi", folder, folder, i);
            big.touch(name);
        }
    }
    TempTree small;
    small.touch("alwa_20150101_120000_F.avi");
    small.touch("alwa_20150101_120000_R.avi");

    RecordingDelegate told;
    TMKMediaList scanning;
    scanning.setDelegate(&told);

    // While the big scan runs the scanning holds its old contents (empty here)
    // or the whole result, never a part of it.
    scanning.setDirectoryPath(big.root);
    scanning.waitUntilIdle();
    ASSERT_EQ(scanning.count(), 4000u);

    scanning.setDirectoryPath(small.root);
    std::size_t seen = scanning.count();
    EXPECT_TRUE(seen == 4000u || seen == 2u);
    scanning.setDirectoryPath(big.root);
    scanning.setDirectoryPath(small.root);
    scanning.waitUntilIdle();
    EXPECT_EQ(scanning.count(), 2u);
    EXPECT_EQ(told.lastCount, 2u);

    // Destroying a scanning during a scan is safe.
    for (int round = 0; round < 5; ++round) {
        TMKMediaList busy;
        busy.setDirectoryPath(big.root);
    }
}

} // namespace
