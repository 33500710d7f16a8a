// What a power cut may leave on disk at each moment of a command, and whether each such state is
// one the host product and the next run of the tool can live with.
//
// The calls a real run makes are recorded (support/disk_calls.h) and replayed on a model of the
// disk, from a snapshot of the Wine prefix taken before. The model of what survives a power cut:
// - data written to a file and not yet flushed (fsync of that file) may be lost, kept, or torn at
//   a 4 KiB boundary (the file as long as written with the rest zeros, or cut there);
// - a creation, rename or removal of a name, or a new or removed folder, stays only once its
//   folder has been flushed after it; until then it may or may not have happened, each
//   independently of the others (a rename whole: the old name or the new one);
// - what a flush covered stays.
// After each call, every state the model allows is written out as a prefix of its own and
// checked: the catalogue is the old bytes or the new ones and parses; every other file in the
// repository is old or new, or a temporary of the tool's, which the host does not read; every
// generation the history lists is whole; a changed catalogue has its generation; and after the
// last call (the command has reported its outcome) only the new state is left.
#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "support/disk_calls.h"
#include "support/repository_files.h"
#include "support/started_session.h"
#include "workflows/history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include <sys/stat.h>

namespace corvelan {
namespace {

using test::DiskCall;
using workflows::Outcome;
namespace stdfs = std::filesystem;

using Names = std::map<std::pair<std::uint64_t, std::string>, std::uint64_t>;
using Contents = std::map<std::uint64_t, std::string>;
// Files by their path under the prefix.
using Tree = std::map<std::string, std::string>;

std::uint64_t inodeOf(const stdfs::path &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The disk as the model sees it: the names in each folder, and each file's bytes.
struct Disk {
    std::uint64_t root = 0;
    std::set<std::uint64_t> folders;
    Names names;
    Contents contents;

    static Disk of(const std::string &root) {
        Disk disk;
        disk.root = inodeOf(root);
        disk.folders.insert(disk.root);
        for (const auto &entry : stdfs::recursive_directory_iterator(root)) {
            const std::uint64_t node = inodeOf(entry.path());
            disk.names[{inodeOf(entry.path().parent_path()), entry.path().filename()}] = node;
            if (entry.is_directory())
                disk.folders.insert(node);
            else if (entry.is_regular_file())
                disk.contents[node] = test::readFile(entry.path());
        }
        return disk;
    }
    // Whether `call` is about this disk at all (the tool reads and writes elsewhere too).
    [[nodiscard]] bool holds(const DiskCall &call) const {
        switch (call.kind) {
        case DiskCall::Write:
        case DiskCall::FlushFile:
            return contents.contains(call.file);
        case DiskCall::Rename:
            return folders.contains(call.folder);
        default:
            return folders.contains(call.folder);
        }
    }
};

void applyName(Names &names, const DiskCall &call) {
    switch (call.kind) {
    case DiskCall::Create:
    case DiskCall::MakeFolder:
        names[{call.folder, call.name}] = call.file;
        break;
    case DiskCall::Remove:
    case DiskCall::RemoveFolder:
        names.erase({call.folder, call.name});
        break;
    case DiskCall::Rename:
        if (auto from = names.find({call.fromFolder, call.fromName});
            from != names.end() && from->second == call.file)
            names.erase(from);
        names[{call.folder, call.name}] = call.file;
        break;
    default:
        break;
    }
}

void applyWrite(std::string &content, const DiskCall &write) {
    const auto at = static_cast<std::size_t>(write.offset);
    if (content.size() < at + write.bytes.size()) content.resize(at + write.bytes.size(), '\0');
    content.replace(at, write.bytes.size(), write.bytes);
}

// The files of a state, by path, reached from the root through `names`.
Tree treeOf(const Disk &disk, const Names &names, const Contents &contents) {
    Tree tree;
    std::function<void(std::uint64_t, const std::string &)> walk = [&](std::uint64_t folder,
                                                                       const std::string &path) {
        for (auto it = names.lower_bound({folder, ""});
             it != names.end() && it->first.first == folder; ++it) {
            const std::string child = path + "/" + it->first.second;
            if (disk.folders.contains(it->second))
                walk(it->second, child);
            else if (auto content = contents.find(it->second); content != contents.end())
                tree[child] = content->second;
        }
    };
    walk(disk.root, "");
    return tree;
}

// The states a power cut may leave after each call of `calls`, from `disk`. `check(tree, last)`
// is called once for each distinct state, `last` after the last call. Returns how many.
int crashStates(Disk disk, const std::vector<DiskCall> &calls,
                const std::function<void(const Tree &, bool)> &check) {
    Names durable = disk.names;
    Contents flushed = disk.contents; // what a flush covered
    std::vector<DiskCall> pending;    // names not yet made durable by their folder's flush
    std::map<std::uint64_t, std::vector<DiskCall>> unflushed; // writes since each file's flush
    std::set<Tree> seen;
    for (std::size_t at = 0; at < calls.size(); ++at) {
        const DiskCall &call = calls[at];
        if (!disk.holds(call)) continue;
        switch (call.kind) {
        case DiskCall::Create:
            disk.contents[call.file].clear();
            flushed[call.file].clear();
            unflushed[call.file].clear();
            pending.push_back(call);
            break;
        case DiskCall::MakeFolder:
            disk.folders.insert(call.file);
            pending.push_back(call);
            break;
        case DiskCall::Rename:
        case DiskCall::Remove:
        case DiskCall::RemoveFolder:
            pending.push_back(call);
            break;
        case DiskCall::Write:
            applyWrite(disk.contents[call.file], call);
            unflushed[call.file].push_back(call);
            break;
        case DiskCall::FlushFile:
            flushed[call.file] = disk.contents[call.file];
            unflushed[call.file].clear();
            break;
        case DiskCall::FlushFolder:
            std::erase_if(pending, [&](const DiskCall &p) {
                const bool covered = p.folder == call.folder &&
                                     (p.kind != DiskCall::Rename || p.fromFolder == call.folder);
                if (covered) applyName(durable, p);
                return covered;
            });
            break;
        default:
            break;
        }
        const bool last = at + 1 == calls.size();
        // Each subset of the pending names (sampled when there are many), then each file with
        // unflushed data lost, kept or torn.
        const std::size_t subsets = pending.size() < 7 ? std::size_t{1} << pending.size() : 64;
        for (std::size_t s = 0; s < subsets; ++s) {
            const std::size_t mask = pending.size() < 8 ? s : s * 2654435761u;
            Names names = durable;
            for (std::size_t p = 0; p < pending.size(); ++p)
                if (s + 1 == subsets || (mask >> (p % 64)) & 1) applyName(names, pending[p]);
            std::vector<std::pair<std::uint64_t, std::vector<std::string>>> dirty;
            for (const auto &[node, writes] : unflushed) {
                if (writes.empty()) continue;
                const std::string &now = disk.contents[node];
                std::vector<std::string> variants{flushed[node], now};
                for (std::size_t cut = 4096; cut < now.size(); cut += 4096 * 4) {
                    variants.push_back(now.substr(0, cut));
                    variants.push_back(now.substr(0, cut) + std::string(now.size() - cut, '\0'));
                }
                dirty.emplace_back(node, std::move(variants));
            }
            std::size_t combinations = 1;
            for (const auto &d : dirty)
                combinations *= d.second.size();
            for (std::size_t c = 0; c < std::min<std::size_t>(combinations, 16); ++c) {
                Contents contents = flushed;
                std::size_t pick = c;
                for (const auto &[node, variants] : dirty) {
                    contents[node] = variants[pick % variants.size()];
                    pick /= variants.size();
                }
                Tree tree = treeOf(disk, names, contents);
                if (seen.insert(tree).second || last) check(tree, last);
            }
        }
    }
    return static_cast<int>(seen.size());
}

// Writes `tree` out as a prefix under `folder`.
void writeTree(const Tree &tree, const std::string &folder) {
    stdfs::remove_all(folder);
    stdfs::create_directories(folder + "/drive_c");
    for (const auto &[path, content] : tree) {
        stdfs::create_directories(stdfs::path(folder + path).parent_path());
        test::writeFile(folder + path, content);
    }
}

// What a command is run with.
struct Command {
    workflows::UpdateSession &session;
    test::RecordingView &view;
    test::ScriptedBoxes &boxes;
    const test::TempPrefix &prefix;
    const test::TempDir &tool;

    // A description of `version` at C:\<version>.xml, written before the command runs.
    void describe(const std::string &version) {
        test::writeFile(prefix / ("drive_c/" + version + ".xml"), test::description(version));
    }
    Outcome install(const std::string &version) {
        return session.installDtm("C:\\" + version + ".xml", view, boxes);
    }
};

constexpr std::string_view kHistory = "/drive_c/ProgramData/Corvelan/";

struct HistoryRead {
    std::vector<std::string> faults;
    bool kept = false; // a generation newer than those before the command is listed
};

// The history of the prefix at `prefix` as the tool reads it: every generation it lists whole.
HistoryRead readHistory(const std::string &prefix, int newestBefore) {
    HistoryRead read;
    auto history = workflows::History::hold(DriveMap::forPrefix(prefix).value(), false, false);
    if (!history) return read;
    for (const workflows::Generation &g : history->generations()) {
        if (!history->open(g))
            read.faults.push_back("generation " + std::to_string(g.number) +
                                  " is listed but not whole");
        read.kept = read.kept || g.number > newestBefore;
    }
    return read;
}

struct Workflow {
    const char *id; // the test's name
    const char *name;
    std::function<void(Command &)> before; // what stood before the command
    std::function<Outcome(Command &)> command;
};

class PowerLoss : public test::StartedSession {
protected:
    void SetUp() override {
        // Pictures of a few 4 KiB blocks, so that a copy can be torn.
        for (const char *picture : test::kPictures)
            test::writeFile(repo.tool / picture, std::string(9000, picture[0]));
        start();
    }
    // Runs `workflow`, then checks every state a power cut may leave. Returns what went wrong
    // (the first few) and, in `states`, how many states were checked.
    std::vector<std::string> cutPower(const Workflow &workflow, int &states,
                                      test::FlushFault flushFault = test::FlushFault::None) {
        Command run{*session, view, boxes, prefix, tool};
        workflow.before(run);
        const Tree before = treeOf(Disk::of(prefix.path()));
        int newestBefore = 0;
        for (const workflows::Generation &g : session->history())
            newestBefore = std::max(newestBefore, g.number);
        const Disk disk = Disk::of(prefix.path());
        std::vector<DiskCall> calls;
        {
            test::DiskCallRecorder recorder;
            test::setFlushFault(flushFault);
            EXPECT_EQ(workflow.command(run), Outcome::Done);
            calls = recorder.calls();
        }
        test::setFlushFault(test::FlushFault::None);
        const Tree after = treeOf(Disk::of(prefix.path()));
        const std::string catalogue =
            "/" + stdfs::relative(prefix.catalogueFile(), prefix.path()).generic_string();
        const std::string repository =
            "/" + stdfs::relative(prefix.repositoryDir(), prefix.path()).generic_string() + "/";
        std::vector<std::string> faults;
        const auto fault = [&](const std::string &what) {
            if (faults.size() < 5) faults.push_back(what);
        };
        const test::TempDir scratch;
        std::map<Tree, HistoryRead> histories;
        states = crashStates(disk, calls, [&](const Tree &tree, bool last) {
            if (last && tree != after) fault("after the command ended, not its whole new state");
            const auto cat = tree.find(catalogue);
            if (cat == tree.end() ||
                (cat->second != before.at(catalogue) && cat->second != after.at(catalogue))) {
                fault("the catalogue is neither the old one nor the new one");
                return;
            }
            if (!catalogue::Catalogue::parse(cat->second).ok())
                fault("the catalogue does not parse");
            for (const auto &[path, content] : tree) {
                if (!path.starts_with(repository)) continue;
                // A temporary of the tool's is no XML file to the host, whatever it holds.
                const std::string name = stdfs::path(path).filename().string();
                if (fs::isTemporaryFileName(name)) {
                    if (name.ends_with(".xml")) fault(path + " is a temporary the host reads");
                    continue;
                }
                const auto old = before.find(path);
                const auto now = after.find(path);
                if ((old == before.end() || old->second != content) &&
                    (now == after.end() || now->second != content))
                    fault(path + " is neither old nor new");
            }
            // What the history lists, read by the tool itself from the history written out (the
            // same history is read once).
            Tree history;
            for (const auto &[path, content] : tree)
                if (path.starts_with(kHistory)) history[path] = content;
            auto read = histories.find(history);
            if (read == histories.end()) {
                writeTree(history, scratch.path() + "/state");
                read =
                    histories.emplace(history, readHistory(scratch.path() + "/state", newestBefore))
                        .first;
            }
            for (const std::string &what : read->second.faults)
                fault(what);
            const bool kept = read->second.kept;
            if (cat->second != before.at(catalogue) && !kept)
                fault("the catalogue changed without its generation");
        });
        return faults;
    }

    static Tree treeOf(const Disk &disk) {
        return corvelan::treeOf(disk, disk.names, disk.contents);
    }
};

const Workflow kWorkflows[] = {
    {"Install", "install into a repository without the device's files",
     [](Command &r) { r.describe("2"); }, [](Command &r) { return r.install("2"); }},
    {"Reinstall", "install over an installed version",
     [](Command &r) {
         r.describe("2");
         (void)r.install("2");
         r.describe("3");
         test::writeFile(r.tool / "corvelan.jpg", std::string(9000, 'n'));
     },
     [](Command &r) { return r.install("3"); }},
    {"Remove", "remove", [](Command &) {},
     [](Command &r) { return r.session.remove(r.view, r.boxes); }},
    {"Restore", "restore",
     [](Command &r) {
         r.describe("2");
         (void)r.install("2");
     },
     [](Command &r) { return r.session.restore(std::nullopt, r.view, r.boxes); }},
    {"InstallThatPrunes", "install that prunes the history",
     [](Command &r) {
         for (int i = 10; i < 22; ++i) {
             r.describe(std::to_string(i));
             (void)r.install(std::to_string(i));
         }
         r.describe("2");
     },
     [](Command &r) { return r.install("2"); }},
};

void PrintTo(const Workflow &workflow, std::ostream *out) {
    *out << workflow.name;
}

class EachCommand : public PowerLoss, public ::testing::WithParamInterface<Workflow> {};

TEST_P(EachCommand, LeavesOldOrNewFilesWholeAndEveryListedGenerationWhole) {
    int states = 0;
    EXPECT_EQ(cutPower(GetParam(), states), std::vector<std::string>{});
    std::cout << "[ states   ] " << GetParam().name << ": " << states << " checked\n";
}

INSTANTIATE_TEST_SUITE_P(PowerLoss, EachCommand, ::testing::ValuesIn(kWorkflows),
                         [](const ::testing::TestParamInfo<Workflow> &param) {
                             return std::string(param.param.id);
                         });

// The model sees a flush that is missing or late: the install over an installed version, which
// saves the catalogue, replaces copies and keeps a generation, with each one taken out.
class MissingFlush : public PowerLoss, public ::testing::WithParamInterface<test::FlushFault> {};

TEST_P(MissingFlush, IsSeen) {
    int states = 0;
    const std::vector<std::string> faults = cutPower(kWorkflows[1], states, GetParam());
    EXPECT_FALSE(faults.empty());
    std::cout << "[ verdict  ] " << states
              << " states; first: " << (faults.empty() ? "none" : faults.front()) << "\n";
}

INSTANTIATE_TEST_SUITE_P(PowerLoss, MissingFlush,
                         ::testing::Values(test::FlushFault::NoFileFlush,
                                           test::FlushFault::NoFolderFlush,
                                           test::FlushFault::FileFlushAfterRename),
                         [](const ::testing::TestParamInfo<test::FlushFault> &param) {
                             switch (param.param) {
                             case test::FlushFault::NoFileFlush:
                                 return "NoFileFlush";
                             case test::FlushFault::NoFolderFlush:
                                 return "NoFolderFlush";
                             default:
                                 return "FileFlushAfterRename";
                             }
                         });

} // namespace
} // namespace corvelan
