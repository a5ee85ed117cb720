// The folder scan: which file of a folder describes it, the category filter, result codes, and
// trees that could hang or stop a scan.
#include <dirent.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue_fixture.h"

namespace orvextest {
namespace {

std::string UniqueName(const std::string& name) { return R"({"unique_name":")" + name + R"("})"; }
std::string Conf(const std::string& guid) { return R"({"GUID":")" + guid + R"("})"; }

TEST_F(CatalogueTest, ScanRegistersOneDescriptionPerFolder) {
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::string>> files;  // path in the case folder, text
        bool categoryFilter;
        int result;
        std::vector<std::string> registered;  // GUIDs and effect names
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"conf before description.json", {{"a.conf", Conf("G-BOTH")}, {"description.json", UniqueName("both")}},
         false, 0, {"G-BOTH"}, {"both"}},
        {"filter.xml before description.json",
         {{"filter.xml", "<Filter><GUID>X-1</GUID></Filter>"}, {"description.json", UniqueName("xml")}}, false, 0, {}, {"xml"}},
        {"names match by containment", {{"old.description.json.bak", UniqueName("contained")}}, false, 0, {"contained"}, {}},
        {"category filter",
         {{"description.json", UniqueName("top")},
          {"12_glow/description.json", UniqueName("glow")},
          {"12_glow/inner/description.json", UniqueName("inner")},  // below a category, no filter
          {"16_pack/description.json", UniqueName("sixteen")},
          {"blur/description.json", UniqueName("blur")}},
         true, 0, {"glow", "inner", "sixteen"}, {"top", "blur"}},
        {"category filter, nothing entered", {{"blur/description.json", UniqueName("blur2")}, {"description.json", UniqueName("top2")}},
         true, 1, {}, {"blur2", "top2"}},
        {"conf without GUID fails its folder, not its sub-folders",
         {{"broken.conf", R"({"NAME":"x"})"}, {"child/description.json", UniqueName("child")}}, false, 1, {"child"}, {}},
        {"description without name, sub-folder registered",
         {{"description.json", "{}"}, {"sub/description.json", UniqueName("sub")}}, false, 0, {"sub"}, {}},
        {"conf with a wrong-typed key", {{"a.conf", R"({"GUID":"G-WRONG","FUNCTION":"on"})"}}, false, 1, {}, {"G-WRONG"}},
        {"description.json with a wrong-typed name", {{"description.json", R"({"unique_name":3})"}}, false, 1, {}, {}},
        {"malformed description.json", {{"description.json", R"({"unique_name":"half")"}}, false, 1, {}, {"half"}},
        {"empty conf", {{"x.conf", ""}}, false, 1, {}, {}},
        {"malformed filter.xml", {{"filter.xml", "<Filter><GUID>X-2</GUID>"}}, false, 1, {}, {}},
        {"empty folder", {}, false, 1, {}, {}},
        {"name that is not UTF-8", {{"\xff\xfe_fx/description.json", UniqueName("bytes")}}, false, 0, {"bytes"}, {}},
    };
    const std::string lastCase = "case" + std::to_string(std::size(cases) - 1);
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string folder = Folder("case" + std::to_string(index++));
        for (const auto& [path, text] : c.files) Write(folder.substr(root_.size() + 1) + "/" + path, text);
        EXPECT_EQ(catalogue_->ScanFolder(folder, c.categoryFilter), c.result);
        for (const std::string& key : c.registered) EXPECT_TRUE(Known(key)) << key;
        for (const std::string& key : c.absent) EXPECT_FALSE(Known(key)) << key;
    }
    EXPECT_EQ(catalogue_->GetDescriptionFolder("bytes"), Path(lastCase + "/\xff\xfe_fx/"));
}

TEST_F(CatalogueTest, SecondFolderWithTheSameNameWins) {
    Write("one/description.json", UniqueName("same"));
    Write("two/description.json", UniqueName("same"));
    ASSERT_EQ(catalogue_->ScanFolder(Path("one"), false), 0);
    ASSERT_EQ(catalogue_->ScanFolder(Path("two"), false), 0);
    EXPECT_EQ(catalogue_->GetDescriptionFolder("same"), Path("two/"));
}

// Root reads any folder. Dropping the two override capabilities from this thread's effective set
// makes permission bits apply; they stay permitted and are raised again on scope exit.
class WithoutDacOverride {
public:
    WithoutDacOverride() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2];
        std::memcpy(lowered, saved_, sizeof lowered);
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped_ = syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~WithoutDacOverride() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool dropped_ = false;
};

bool CanList(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir) closedir(dir);
    return dir != nullptr;
}

TEST_F(CatalogueTest, UnlistableFolderIsFiveAtItsLevelOnly) {
    Write("tree/open/description.json", UniqueName("open"));
    Write("tree/locked/description.json", UniqueName("locked"));
    const std::string locked = Path("tree/locked");
    const std::string file = Write("plain.txt", "x");
    EXPECT_EQ(catalogue_->ScanFolder(Path("missing"), false), 5);
    EXPECT_EQ(catalogue_->ScanFolder(file, false), 5);

    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    {
        WithoutDacOverride unprivileged;
        if (CanList(locked)) {
            chmod(locked.c_str(), 0755);
            GTEST_SKIP() << "this process can list a folder without permission";
        }
        EXPECT_EQ(catalogue_->ScanFolder(locked, false), 5);
        EXPECT_EQ(catalogue_->ScanFolder(Path("tree"), false), 0);
    }
    chmod(locked.c_str(), 0755);
    EXPECT_TRUE(Known("open"));
    EXPECT_FALSE(Known("locked"));
}

// Linked folders are followed, so cycles must end and shared sub-trees must not multiply the work.
TEST_F(CatalogueTest, LinksAreFollowedButEveryFolderIsScannedOnce) {
    namespace fs = std::filesystem;
    Write("tree/loop/description.json", UniqueName("loop"));
    fs::create_directory_symlink("..", Path("tree/loop/parent"));
    fs::create_directory_symlink(".", Path("tree/loop/self"));
    Write("elsewhere/description.json", UniqueName("linked"));
    fs::create_directory_symlink("../elsewhere", Path("tree/link"));
    fs::create_symlink("missing", Path("tree/dangling.conf"));
    ASSERT_EQ(mkfifo(Path("tree/loop/fifo.conf").c_str(), 0600), 0);  // opening it would block

    // Forty levels, each linking twice to the next: 2^40 paths, forty folders.
    constexpr int kLevels = 40;
    for (int i = 0; i < kLevels; ++i) {
        const std::string level = Folder("tree/diamond/" + std::to_string(i));
        if (i + 1 == kLevels) continue;
        fs::create_directory_symlink("../" + std::to_string(i + 1), level + "/a");
        fs::create_directory_symlink("../" + std::to_string(i + 1), level + "/b");
    }
    Write("tree/diamond/" + std::to_string(kLevels - 1) + "/description.json", UniqueName("bottom"));

    EXPECT_EQ(catalogue_->ScanFolder(Path("tree"), false), 0);
    EXPECT_EQ(catalogue_->GetDescriptionFolder("loop"), Path("tree/loop/"));
    EXPECT_EQ(catalogue_->GetDescriptionFolder("linked"), Path("tree/link/"));
    EXPECT_TRUE(Known("bottom"));
    EXPECT_EQ(catalogue_->ScanFolder(Path("tree/diamond/0"), false), 0);
}

}  // namespace
}  // namespace orvextest
