// faults_test.cpp - the n-th registry commit (and file write) made to fail,
// for n = 1, 2, 3, ... until the operation succeeds, around shared counts,
// install records and the product shortcuts: every failure is reported and
// leaves a state from which the operation, run again, ends as a clean run.
#include <gtest/gtest.h>

#include <windows.h>

#include "helpers/scriptkit.h"
#include "kernel/faults.h"
#include "registry/records.h"
#include "registry/regpath.h"
#include "registry/shortcuts.h"

#include <string>

using cetest::U16;

namespace {

const uint32_t kHKLM = 0x80000002u;
const char kProduct[] = "Pocket Dravex 3.1 Standard";

class RegistryFaults : public cetest::ScriptFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        cetest::ScriptFixture::TearDown();
    }

    // Runs prepare, then op with the n-th operation of the kind failing,
    // n = 1, 2, ...; check(n, result, fired) sees each outcome. Returns the
    // number of failures seen before the first run that met no fault.
    template <class Prepare, class Op, class Check>
    int Loop(plat::FaultKind kind, Prepare prepare, Op op, Check check)
    {
        int failures = 0;
        for (int n = 1;; ++n) {
            if (n > 100) {
                ADD_FAILURE() << "never succeeded";
                return failures;
            }
            prepare();
            plat::FaultArm(kind, n);
            BOOL result = op();
            bool fired = plat::FaultFired(kind);
            plat::FaultArm(kind, 0);
            check(n, result, fired);
            if (!fired)
                return failures;
            ++failures;
        }
    }

    cetest::MessageLog log;
};

TEST_F(RegistryFaults, SharedCountsChangeWholeOrNotAtAll)
{
    const struct {
        const char *what;
        BOOL add;
        uint32_t before, after; // 0: no value
    } cases[] = {{"add", 1, 3, 4}, {"add the first", 1, 0, 1}, {"release", 0, 3, 2}, {"release the last", 0, 1, 0}};
    const std::string path = "\\Windows\\faulty.dll";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto reset = [&] {
            while (SharedCount(path) > 0)
                SharedFileCount(0, path.c_str(), NULL);
            for (uint32_t i = 0; i < c.before; ++i)
                ASSERT_TRUE(SharedFileCount(1, path.c_str(), NULL));
        };
        int failures = Loop(
            plat::FaultKind::RegistryCommit, reset,
            [&] {
                DWORD count = 0xdead;
                BOOL ok = SharedFileCount(c.add, path.c_str(), &count);
                EXPECT_EQ(count, ok ? c.after : 0xdead) << "a failed change reports no count";
                return ok;
            },
            [&](int n, BOOL ok, bool fired) {
                EXPECT_EQ(ok, !fired) << "n=" << n;
                EXPECT_EQ(SharedCount(path), fired ? c.before : c.after) << "n=" << n;
            });
        EXPECT_GE(failures, 1) << "the change commits at least once";
    }
    EXPECT_TRUE(log.seen.empty()) << "shared counts show nothing";
}

TEST_F(RegistryFaults, InstallRecordsReportEveryFailedWrite)
{
    int failures = Loop(
        plat::FaultKind::RegistryCommit,
        [&] {
            DeleteInstallRecord(kProduct);
            log.seen.clear();
        },
        [&] {
            return WriteInstallRecord(kProduct, "\\Program Files\\Dravex", 1,
                                      "\\Program Files\\Dravex\\Pocket Dravex 3.1 Standard.unload", 4096, u"Danish");
        },
        [&](int n, BOOL ok, bool fired) {
            EXPECT_EQ(ok, !fired) << "n=" << n;
            ASSERT_EQ(log.seen.size(), fired ? 1u : 0u) << "n=" << n << ": one message for a failed write";
            if (fired) {
                EXPECT_NE(log.seen[0].text.find("cannot write uninstallation information"), std::string::npos)
                    << log.seen[0].text;
            }
            char folder[260] = "", unload[260] = "";
            DWORD copy = 0, space = 0;
            WCHAR language[64];
            BOOL read = ReadInstallRecord(kProduct, 0, folder, &copy, unload, &space, language);
            if (!fired) {
                EXPECT_TRUE(read);
                EXPECT_STREQ(folder, "\\Program Files\\Dravex");
                EXPECT_EQ(space, 4096u);
                EXPECT_EQ(std::u16string((const char16_t *)language), u"Danish");
            }
        });
    EXPECT_GE(failures, 1);

    // Deleting: a failed deletion keeps the whole record readable.
    char unloadBuf[260];
    failures = Loop(
        plat::FaultKind::RegistryCommit,
        [&] {
            if (!RecordedUnloadLog(kProduct, unloadBuf)) {
                ASSERT_TRUE(WriteInstallRecord(kProduct, "\\Program Files\\Dravex", 1,
                                               "\\Program Files\\Dravex\\x.unload", 1, u"Danish"));
            }
        },
        [&] { return DeleteInstallRecord(kProduct); },
        [&](int n, BOOL ok, bool fired) {
            EXPECT_EQ(ok, !fired) << "n=" << n;
            char unload[260];
            EXPECT_EQ(RecordedUnloadLog(kProduct, unload), fired) << "n=" << n;
        });
    EXPECT_EQ(failures, 1) << "the key and its values go in one change";
}

TEST_F(RegistryFaults, ShortcutsRunAgainAfterAFailureEndAsACleanRun)
{
    const std::string link = "Windows/Start Menu/Programs/Pocket Dravex 3.1.lnk";
    ASSERT_TRUE(SharedFileCount(1, "\\Program Files\\Dravex\\Dravex.exe", NULL));
    ASSERT_TRUE(UpdateProductShortcuts(1, 0, "\\Program Files\\Dravex", kProduct));
    const std::string cleanLink = StoreRead(link);
    uint32_t cleanCount = SharedCount("\\Pocket Dravex 3.1.lnk");
    ASSERT_EQ(cleanCount, 1u);

    for (plat::FaultKind kind : {plat::FaultKind::RegistryCommit, plat::FaultKind::FileWrite}) {
        int failures = Loop(
            kind, [] {}, [&] { return UpdateProductShortcuts(1, 0, "\\Program Files\\Dravex", kProduct); },
            [&](int n, BOOL, bool) {
                ASSERT_TRUE(UpdateProductShortcuts(1, 0, "\\Program Files\\Dravex", kProduct)) << "n=" << n;
                EXPECT_EQ(StoreRead(link), cleanLink) << "n=" << n;
                EXPECT_EQ(SharedCount("\\Pocket Dravex 3.1.lnk"), cleanCount) << "n=" << n;
                std::u16string target;
                EXPECT_TRUE(ReadString(kHKLM, u"Software\\Apps\\Veltrona Parvell\\" + U16(kProduct), u"Target",
                                       target));
                EXPECT_EQ(target, u"\\Program Files\\Dravex\\Dravex.exe");
            });
        EXPECT_GE(failures, 1) << "the shortcuts write and commit";
    }
    EXPECT_TRUE(log.seen.empty()) << "the shortcuts show nothing";
}

} // namespace
