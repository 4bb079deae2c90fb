// The capture loader alone: whole readings stopped or started over, and
// following a file that grows, is replaced or goes away.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QApplication>
#include <QElapsedTimer>

#include "formats/CaptureFile.h"

#include "capview/CaptureLoader.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

// A capture as it is while being recorded: its records, not yet the time
// line its writer adds when it closes the file.
void WriteCapture(const fs::path& p, int records) {
    {
        cCaptureFile f;
        ASSERT_TRUE(f.Open(p.string()));
        for (int i = 0; i < records; ++i)
            ASSERT_TRUE(f.WriteRecord({float((i % 256) / 51.0), float((i % 52) / 51.0), 800 + i % 5000, i % 256}));
    }
    std::ifstream in(p, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    in.close();
    text.erase(text.rfind("\"SECONDS\""));
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::string Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the event loop until `done` holds (or a generous limit has passed).
template <class F>
bool Until(F done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 20000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct sHandedOver {
    std::vector<std::shared_ptr<Capture::sLoadedCapture>> Loaded;
    int Followed = 0;
    std::shared_ptr<Capture::sLoadedCapture> After;
    bool Failed = false;
};

std::unique_ptr<cCaptureLoader> NewLoader(sHandedOver& out) {
    return std::make_unique<cCaptureLoader>(
        [&out](std::shared_ptr<Capture::sLoadedCapture> c) { out.Loaded.push_back(std::move(c)); },
        [&out](std::shared_ptr<const Capture::sLoadedCapture>, std::shared_ptr<Capture::sLoadedCapture> after,
               bool failed) {
            ++out.Followed;
            out.After = std::move(after);
            out.Failed = failed;
        });
}

}  // namespace

// Each case changes the followed file (100 records) in its own way.
TEST(CaptureLoader, FollowsWhatTheFileBecame) {
    enum class eChange { None, Append, Replace, Remove, Folder };
    struct sCase {
        const char* Name;
        eChange Change;
        bool Failed;
        long Records;  // of the new capture; -1: none handed over (nothing new)
    };
    const sCase cases[] = {
        {"unchanged", eChange::None, false, -1},
        {"grown", eChange::Append, false, 150},
        {"replaced by a shorter one", eChange::Replace, false, 20},
        // Gone for now (a recorder between files): nothing new, no failure.
        {"removed", eChange::Remove, false, -1},
        {"replaced by a folder", eChange::Folder, true, -1},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        testkit::cTempDir dir("zvloader");
        const fs::path file = dir.Path / "follow.dat", other = dir.Path / "other.dat";
        WriteCapture(file, 100);
        auto before = std::make_shared<Capture::sLoadedCapture>();
        before->Load(file.string());
        ASSERT_EQ(before->Records(), 100u);

        switch (c.Change) {
        case eChange::None: break;
        case eChange::Append: {
            // The same ramp 50 records further: the old file is its start.
            WriteCapture(other, 150);
            const std::string longer = Bytes(other), now = Bytes(file);
            ASSERT_EQ(longer.compare(0, now.size(), now), 0);
            std::ofstream(file, std::ios::app | std::ios::binary) << longer.substr(now.size());
            break;
        }
        case eChange::Replace:
            WriteCapture(other, 20);
            fs::rename(other, file);
            break;
        case eChange::Remove: fs::remove(file); break;
        case eChange::Folder:
            fs::remove(file);
            fs::create_directory(file);
            break;
        }

        sHandedOver out;
        auto loader = NewLoader(out);
        ASSERT_TRUE(loader->Follow(before));
        EXPECT_FALSE(loader->Follow(before)) << "a second follow read while one is under way";
        ASSERT_TRUE(Until([&] { return out.Followed == 1; }));
        EXPECT_FALSE(loader->FollowBusy());
        EXPECT_EQ(out.Failed, c.Failed);
        EXPECT_EQ(out.After ? long(out.After->Records()) : -1L, c.Records);
        // The shown capture is never changed under the painter.
        EXPECT_EQ(before->Records(), 100u);
        if (out.After) {
            EXPECT_EQ(out.After->Pyramid[0].Query(0, out.After->Records()).Count, out.After->Records());
        }
    }
}

TEST(CaptureLoader, StopJoinsAndALateResultNeverStopsALaterReading) {
    testkit::cTempDir dir("zvloader");
    const fs::path big = dir.Path / "big.dat", small = dir.Path / "small.dat";
    WriteCapture(big, 200000);
    WriteCapture(small, 30);
    sHandedOver out;
    auto loader = NewLoader(out);
    ASSERT_TRUE(loader->Load(big.string()));
    EXPECT_FALSE(loader->Load(small.string())) << "one whole reading at a time";
    loader->Stop();
    EXPECT_FALSE(loader->Loading());
    // The stopped reading's result is still on its way; a new one starts.
    ASSERT_TRUE(loader->Load(small.string()));
    ASSERT_TRUE(Until([&] { return out.Loaded.size() == 2 && !loader->Loading(); }));
    EXPECT_EQ(out.Loaded[0]->Path, big.string());
    const Capture::eReadStatus first = out.Loaded[0]->Result.Status;
    EXPECT_TRUE(first == Capture::eReadStatus::Cancelled || first == Capture::eReadStatus::Ok);
    EXPECT_EQ(out.Loaded[1]->Path, small.string());
    EXPECT_EQ(out.Loaded[1]->Records(), 30u);
}

TEST(CaptureLoader, DestroyedWithResultsPendingHandsNothingOver) {
    testkit::cTempDir dir("zvloader");
    const fs::path file = dir.Path / "gone.dat";
    WriteCapture(file, 5000);
    auto before = std::make_shared<Capture::sLoadedCapture>();
    before->Load(file.string());
    std::ofstream(file, std::ios::app | std::ios::binary) << "\"1.0\",\"0.5\",\"900\",\"12\"\r\n";
    sHandedOver out;
    auto loader = NewLoader(out);
    ASSERT_TRUE(loader->Load(file.string()));
    ASSERT_TRUE(loader->Follow(before));
    // Both workers are joined by the destructor; what they posted is
    // dropped with the loader (a handover would reach a deleted object).
    loader.reset();
    QApplication::processEvents();
    QApplication::sendPostedEvents();
    EXPECT_TRUE(out.Loaded.empty());
    EXPECT_EQ(out.Followed, 0);
}
