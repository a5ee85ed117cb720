#include "catalogue/FilterManager.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <system_error>
#include <utility>

#include <tinyxml2.h>

#include "catalogue/DescriptionFiles.h"
#include "corelog.h"

namespace orvex {

namespace {

// The host's filter tables keep this record layout: an id and the GUID text zero-padded to 64
// bytes. Loading follows array order, so a GUID listed twice ends with its last id.
struct GuidRecord {
    int32_t id;
    char guid[64];
};

// Filters the host renders on the CPU itself.
const GuidRecord kCpuFilterTable[] = {
    {1, "ADEC1819-598F-4CFE-B89B-FA3355AD4220"},
    {2, "5FC17C9E-0AB6-4354-AFD6-283DF478B838"},
    {3, "45D9AD95-4F03-4B2F-A8C7-8F7817B73FA4"},
    {4, "616D7BAC-39DB-415A-9EEA-798678A43617"},
    {5, "03C83354-4CD4-4AE0-AA62-4F39C5CFF6C2"},
    {6, "80770BC9-904D-437F-9521-51C4B91B3B09"},
    {7, "AA82D502-0B8D-4BEC-B553-CD33A9C71C6E"},
    {8, "8D22A402-06E0-41BD-9C31-1B91D575EDE8"},
    {9, "BED49B76-3BBB-46E6-8030-F00EAC42BF71"},
    {10, "BC964F07-2889-4DC6-A779-924E22EC2FEA"},
    {20, "CF3DABBC-952F-4276-B11F-427E70C66537"},
    {11, "7565A3DC-6BE2-48BA-9080-886E34EC497D"},
    {12, "F0EFD874-1D2A-4185-BE03-318446B1ABA7"},
    {13, "0743305A-C7AA-4B95-AAB8-93493691B436"},
    {14, "737F8965-7D66-4670-83E8-C470A7B2AED1"},
    {15, "397C3140-0BE6-49C4-BB0D-57ED1A7FF803"},
    {16, "43E7D729-DCA4-420D-A6CB-0DDCA64F8C51"},
    {17, "7B6F1C49-291F-4C1F-A754-172ADD788C30"},
    {18, "BFEB762C-D985-45D2-8683-F99DB5855469"},
    {19, "E9A88F39-C6E2-7777-8961-BA55963357ED"},
    {21, "662E16ED-4524-4D13-AAE9-11DBA0C63E17"},
    {22, "DB4BBA18-48FC-4164-B572-E59757B02796"},
    {23, "59D8083B-9388-43BB-AF8A-F4B64E1F9C73"},
    {24, "97F7C94A-0B47-4178-8C30-2B9984754D60"},
    {25, "E9C6A2FD-10EE-474E-BD7A-2FB33AA8BD30"},
    {26, "111FEA4C-6FD3-46EB-880F-D445969D32D6"},
    {27, "D02DB62B-0CFF-4944-8330-FA358C504D79"},
    {28, "09913F15-9C83-438F-A226-0EB26E8B8F7A"},
    {29, "74EB022D-1D73-4D1E-9F70-487C356D46CD"},
    {86, "718F5DC3-D828-48BF-B7CF-135474EF64A4"},
    {87, "56A91214-616D-4C81-B857-EDC89D770CC2"},
    {30, "5C12B9BE-A366-449F-B834-3EF768A7379A"},
    {31, "87289B96-239D-4740-BF86-023F54349902"},
    {32, "892D1D4B-90F3-4795-BF20-D9AB8E7703E3"},
    {33, "C4A084A0-1B56-4304-BFDD-C2C4D646708C"},
    {88, "56D37319-8F37-4593-BBAF-9FF0A6318D02"},
    {89, "892D1D4B-90F3-4795-BF20-D9AB8E7703E3"},
    {90, "9AE1A39B-CF3C-4F62-8EB7-E1B5925A2BE7"},
    {91, "66C81C1A-CE2F-44EB-977B-0AFBD6063A7C"},
    {95, "8F434A04-B338-4B9C-B23D-DFD10CA1220E"},
    {97, "54DD9E35-EBB6-4664-87B6-1C64432F389B"},
    {98, "B45C2DEB-9A4A-4BF0-8DDE-A7F70BFD5275"},
    {99, "0252B095-6200-4D5D-A77C-59624C2D45AA"},
    {100, "0FDB786D-A9A9-4ED7-9964-AC6954FB441A"},
    {101, "71C2D3C0-E2BF-43C3-AFA3-BC04C11E68F4"},
    {104, "5C720A04-AC9C-4DF3-811D-EDB3C1B0D14A"},
};

// Filters with an OpenCL program of the host's own (GUID case as the host lists them).
const GuidRecord kOpenCLFilterTable[] = {
    {34, "45D9AD95-4F03-4B2F-A8C7-8F7817B73FA4"},
    {35, "616D7BAC-39DB-415A-9EEA-798678A43617"},
    {36, "8D22A402-06E0-41BD-9C31-1B91D575EDE8"},
    {37, "BC964F07-2889-4DC6-A779-924E22EC2FEA"},
    {38, "7565A3DC-6BE2-48BA-9080-886E34EC497D"},
    {39, "F0EFD874-1D2A-4185-BE03-318446B1ABA7"},
    {40, "1A09570B-8B15-444b-A074-33685EE7E086"},
    {41, "23ED6584-3EB2-4451-80CE-89D3529DE5C8"},
    {42, "F0A59856-167B-4164-A721-39F5330C6F94"},
    {43, "FB66DCAA-F85E-4be4-9470-9D6771AE26B8"},
    {44, "3F68EC3C-4003-488c-8BD4-4D6CA41E85C5"},
    {45, "309BBE5F-12C8-4ded-9689-A69896691A87"},
    {46, "25E4478A-C617-4c60-B95A-F378D2923E17"},
    {47, "8B086E1E-BB01-4f3e-934B-5DB4ADA2567F"},
    {48, "07992914-52E9-4e8f-A022-01BE34F9C4F0"},
    {49, "53D37319-8F37-4593-BBAF-9FF0A6307C01"},
    {50, "30055315-346C-4ed0-BF83-572605B2CF59"},
    {51, "56F86BED-AA95-4fb1-8DC8-49A5C15A7111"},
    {52, "F944258F-0E51-4f7b-979F-91E3E826E4FC"},
    {53, "EFFE7C7D-AA0F-4cb0-8C1C-CDE05D04BC97"},
    {54, "BECC0DB2-67E8-4a9c-BFFB-B1AFD8351811"},
    {55, "06540EAC-C188-426e-952D-7DD97435F6F9"},
    {56, "94C674C7-B853-4b72-A035-46412DA6B447"},
    {57, "569E97C5-13FB-441a-B3C1-EA0CEC829623"},
    {58, "534C741C-4450-4ea4-9D8C-BD54AD7ED668"},
    {59, "9B478F78-6FE4-46b1-AF38-7C83100B7E5D"},
    {60, "D58C0972-7E9E-47C5-8B77-450CD2CFB4A7"},
    {61, "E9A88F39-C6E2-4B32-8961-BA55963357ED"},
    {62, "ED8A19BD-37E7-49e4-B6FA-D25095C41D44"},
    {63, "562330DC-1334-4b02-A5B9-B140FC68B0E2"},
    {64, "CB730FB7-9D79-4353-B26E-F67D218733D0"},
    {65, "4E3B761D-7A15-411a-A2E7-B0832D755F6D"},
    {66, "F24A2C3E-214F-4f9f-ADD9-C8221CC5B637"},
    {67, "DA82B39B-F380-46c6-9445-3E096905D4E3"},
    {68, "2FFCED76-6277-41a5-B1AD-4BB27C8D44D3"},
    {69, "2C052C3B-F0BD-4d5c-A8C0-5C86389DD7CB"},
    {70, "20D18E32-E3C0-4063-8F0F-8E7C2DF00F7F"},
    {71, "35B558CD-37D6-43aa-8AA2-1E3090524931"},
    {72, "BB101941-A146-4332-B70F-22DD4B4236BD"},
    {73, "77036E5E-515D-4bc8-841D-8804E7EC5705"},
    {74, "DB4BBA18-48FC-4164-B572-E59757B02796"},
    {75, "662E16ED-4524-4D13-AAE9-11DBA0C63E17"},
    {76, "E05DAB18-F084-445b-BEA6-9EE4D7E5249B"},
    {77, "E9C6A2FD-10EE-474E-BD7A-2FB33AA8BD30"},
    {78, "09913F15-9C83-438F-A226-0EB26E8B8F7A"},
    {79, "74EB022D-1D73-4D1E-9F70-487C356D46CD"},
    {80, "59D8083B-9388-43BB-AF8A-F4B64E1F9C73"},
    {81, "CFE92EDA-8603-4C12-B8DC-39F2C508375C"},
    {82, "7DD640A1-44C0-4F8F-9129-24DB9BE20B20"},
    {83, "1B2C80A3-80A6-42A5-9642-3D67939F0664"},
    {84, "B9FAA92D-E036-4E8C-9D82-1CE059CBDC37"},
    {85, "2BD0B96E-DCC2-7BFF-1263-0B14A9CFC1F6"},
    {94, "81316C1E-0D2D-4217-8200-261275619483"},
    {100, "0FDB786D-A9A9-4ED7-9964-AC6954FB441A"},
    {101, "71C2D3C0-E2BF-43C3-AFA3-BC04C11E68F4"},
    {24, "97F7C94A-0B47-4178-8C30-2B9984754D60"},
    {105, "F8BB1068-4E41-4D33-A933-25AD3F2D2E86"},
    {102, "087D905B-2CF2-4928-9184-76BC535D26BC"},
};

constexpr int32_t kCpuFilterCount = 46;
constexpr int32_t kOpenCLFilterCount = 58;
static_assert(std::size(kCpuFilterTable) == kCpuFilterCount);
static_assert(std::size(kOpenCLFilterTable) == kOpenCLFilterCount);

void LoadGuidTable(std::map<std::string, int32_t>& ids, const GuidRecord* table, int32_t count) {
    if (!ids.empty()) return;
    for (int32_t i = 0; i < count; ++i) {
        ids[std::string(table[i].guid, strnlen(table[i].guid, sizeof table[i].guid))] = table[i].id;
    }
}

// Effects open their programs, textures and LUTs while the host keeps media files open; the
// default soft limit of many systems (1024) runs out. Never above the hard limit, never lowered.
void RaiseOpenFileLimit() {
    constexpr rlim_t kWanted = 8192;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kWanted) return;
    rlim_t target = kWanted;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < target) target = limit.rlim_max;
    if (target <= limit.rlim_cur) return;
    limit.rlim_cur = target;
    setrlimit(RLIMIT_NOFILE, &limit);
}

std::mutex& InstanceLock() {
    static std::mutex lock;
    return lock;
}

CNLECGFilterManager* g_instance = nullptr;

}  // namespace

CNLECGFilterManager* CNLECGFilterManager::GetInstance() {
    std::lock_guard<std::mutex> guard(InstanceLock());
    if (!g_instance) {
        try {
            g_instance = new CNLECGFilterManager();
        } catch (const std::exception&) {
            g_instance = nullptr;
        }
    }
    return g_instance;
}

CNLECGFilterManager::CNLECGFilterManager() {
    // Key "0" answers look-ups of entries the host knows without a description.
    constructors_.emplace("0", std::make_unique<CNLECGFilterConstructor>(std::make_shared<NLEFilterInfo>()));
    LoadGuidTable(cpuFilterIds_, kCpuFilterTable, kCpuFilterCount);
    LoadGuidTable(openclFilterIds_, kOpenCLFilterTable, kOpenCLFilterCount);
    RaiseOpenFileLimit();
}

CNLECGFilterManager::~CNLECGFilterManager() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        constructors_.clear();
    }
    std::lock_guard<std::mutex> guard(InstanceLock());
    if (g_instance == this) g_instance = nullptr;
}

void CNLECGFilterManager::SetAuxPath(const std::string& path) { auxPath_ = path; }

ResultCode CNLECGFilterManager::SetRootPath(const char* path) {
    if (!path) return PathUnavailable;
    rootPath_ = path;
    return Ok;
}

bool CNLECGFilterManager::FindConstructor(const std::string& name, CNLECGFilterConstructor** out) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = constructors_.find(name);
    if (it == constructors_.end()) return false;
    if (out) *out = it->second.get();
    return true;
}

std::vector<std::string> CNLECGFilterManager::DescriptionNames() const {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<std::string> names;
    for (const auto& [name, folder] : descriptionFolders_) names.push_back(name);
    return names;
}

std::vector<std::string> CNLECGFilterManager::Guids() const {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<std::string> guids;
    for (const auto& [guid, ctor] : constructors_) {
        if (guid != "0") guids.push_back(guid);
    }
    return guids;
}

std::string CNLECGFilterManager::GetDescriptionFolder(const std::string& name) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = descriptionFolders_.find(name);
    return it == descriptionFolders_.end() ? std::string() : it->second;
}

int CNLECGFilterManager::AddFilterToConstructor(const std::shared_ptr<NLEFilterInfo>& info, const std::string& path) {
    if (!info) return Failed;
    std::lock_guard<std::mutex> guard(lock_);
    const std::string key = info->guid;
    info->auxPath = auxPath_;
    info->rootPath = rootPath_;
    if (constructors_.count(key)) return Ok;  // the first registration of a GUID wins

    constructors_.emplace(key, std::make_unique<CNLECGFilterConstructor>(info));
    if (auto cpu = cpuFilterIds_.find(key); cpu != cpuFilterIds_.end()) {
        info->isCpuTableFilter = 1;
        info->cpuFilterId = cpu->second;
    }
    if (auto cl = openclFilterIds_.find(key); cl != openclFilterIds_.end()) {
        info->isOpenCLTableFilter = 1;
        info->hasOpenCL = 1;
        info->openclFilterId = cl->second;
    }
    ORVEX_LOG(4, "CNLECGFilterManager::AddFilterToConstructor",
              info->transitionType ? "Transition: %s is registered from: %s" : "Effect: %s is registered from: %s",
              key.c_str(), path.c_str());
    return Ok;
}

int CNLECGFilterManager::SetDescriptionFromJson(const JsonDocument& document, const std::string& folder) {
    // A "unique_name" of another type counts as absent; an empty one could never name an effect.
    const JsonDocument* name = descfile::Member(document, "unique_name");
    if (!name || !name->is_string()) return Failed;
    const std::string& text = name->get_ref<const std::string&>();
    if (text.empty()) return Failed;
    try {
        // The shader files an effect will load: each must stay inside the folder or the tree.
        EffectDescription description;
        description.document = document;
        std::vector<std::string> files = description.GetOpenGLFragments();
        files.push_back(description.GetBlendScript());
        for (const std::string& file : files) {
            if (file.empty() || descfile::ResolvesInside(folder, file, RootPath())) continue;
            ORVEX_LOG(6, "CNLECGFilterManager::SetDescriptionFromJson",
                      "description %s: file %s resolves outside its folder", text.c_str(), file.c_str());
            return PathUnavailable;
        }

        std::lock_guard<std::mutex> guard(lock_);
        descriptionFolders_[text] = folder;
    } catch (const std::exception&) {
        return Failed;
    }
    return Ok;
}

int CNLECGFilterManager::LoadConfFile(const std::string& path) {
    std::string text;
    if (!descfile::ReadRegularFile(path, text)) return Failed;
    auto info = BuildFilterInfoFromJson(descfile::ParseJsonOrNull(text), descfile::FolderOf(path));
    if (!info) return Failed;
    return AddFilterToConstructor(info, path);
}

int CNLECGFilterManager::LoadFilterXmlFile(const std::string& path) {
    std::string text;
    if (!descfile::ReadRegularFile(path, text)) return Failed;
    tinyxml2::XMLDocument document;
    if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return Failed;
    return GetFilterInfoFromXML(&document, descfile::FolderOf(path));
}

int CNLECGFilterManager::LoadDescriptionJsonFile(const std::string& path) {
    std::string text;
    if (!descfile::ReadRegularFile(path, text)) return Failed;
    return SetDescriptionFromJson(descfile::ParseJsonOrNull(text), descfile::FolderOf(path));
}

namespace {

// Resource trees are a few levels deep; the bound keeps a pathological tree (or a bind mount of
// a parent inside its child) from exhausting the stack or the open-file limit.
constexpr int kMaxScanDepth = 64;

// Directories already scanned in this scan, by device and inode. Symbolic links to folders are
// followed (so an effect folder may be linked into the tree), and this set is what makes link
// cycles and diamonds terminate: every real folder is scanned at most once per ScanFolder call.
using VisitedFolders = std::set<std::pair<dev_t, ino_t>>;

bool EntersCategory(const std::string& name) {
    for (const char* tag : {"2_", "3_", "4_", "16_"}) {
        if (name.find(tag) != std::string::npos) return true;
    }
    return false;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

int ScanTree(CNLECGFilterManager& catalogue, const std::string& path, bool categoryFilter, int depth,
             VisitedFolders& visited) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(path), ec);
    if (ec) return PathUnavailable;

    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !visited.insert({info.st_dev, info.st_ino}).second) return Failed;

    bool descendantRegistered = false;
    std::string confFile, xmlFile, descriptionFile;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().native();
        std::error_code statusError;
        const fs::file_status status = it->status(statusError);  // follows symbolic links
        if (statusError) continue;                              // e.g. a dangling link
        if (fs::is_directory(status)) {
            if (categoryFilter && !EntersCategory(name)) continue;
            if (depth + 1 > kMaxScanDepth) continue;
            if (ScanTree(catalogue, JoinPath(path, name), false, depth + 1, visited) == Ok) {
                descendantRegistered = true;
            }
        } else if (fs::is_regular_file(status) && !categoryFilter) {
            if (name.find(".conf") != std::string::npos) {
                confFile = JoinPath(path, name);
            } else if (name.find("filter.xml") != std::string::npos) {
                xmlFile = JoinPath(path, name);
            } else if (name.find("description.json") != std::string::npos) {
                descriptionFile = JoinPath(path, name);
            }
        }
    }

    bool registeredHere = false;
    if (!confFile.empty()) {
        // A broken ".conf" fails its folder outright; what its sub-folders registered stays.
        if (catalogue.LoadConfFile(confFile) != Ok) return Failed;
        registeredHere = true;
    } else if (!xmlFile.empty()) {
        registeredHere = catalogue.LoadFilterXmlFile(xmlFile) == Ok;
    } else if (!descriptionFile.empty()) {
        registeredHere = catalogue.LoadDescriptionJsonFile(descriptionFile) == Ok;
    }
    return registeredHere || descendantRegistered ? Ok : Failed;
}

}  // namespace

int CNLECGFilterManager::ScanFolder(const std::string& path, bool categoryFilter) {
    try {
        VisitedFolders visited;
        return ScanTree(*this, path, categoryFilter, 0, visited);
    } catch (const std::exception&) {
        return Failed;
    }
}

}  // namespace orvex
