// AddPort with the sibling client's proposal: the value rules, the silent add, the dialog
// pre-filled when the proposal is incomplete or clashes, and the monitor name check.
#include "../../src/ui/resource.h"

#include "monitor_fixture.h"
#include "setup_call.h"

using namespace qvhost;

namespace {

const char kSiblingKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsell\\Harbrook\\Client\\Orvo";

class SiblingImportTest : public MonitorTest {
  protected:
    void SetUp() override {
        MonitorTest::SetUp();
        AddPortValue("LP_OLD", "10.0.0.1", 1);
        ASSERT_TRUE(StartMonitor());
        ClearDialogRecords();
    }
    void Propose(const std::string &values) { ImportReg(std::string("[") + kSiblingKey + "]\n" + values); }
};

TEST_F(SiblingImportTest, CompleteProposalIsAddedSilentlyAndOnlyOnce) {
    Propose(RegDword("Protocol", 3) + RegDword("RawPort", 0) + RegText("LPRQueue", "q1") +
            RegText("PortName", "SIB") + RegText("IPAddress", "10.0.0.9"));
    SetupCall call = SetupCall::Add(monitor_, "qv tcp/ip LMR port");  // A to Z in any case
    EXPECT_EQ(call.Returned(), "TRUE 0");
    EXPECT_EQ(call.Dialog(IDD_PORT_SETUP_ADD, 0), nullptr);
    EXPECT_EQ(Saved("SIB"), "10.0.0.9|q1|3|0");
    EXPECT_EQ(InputAttachments().size(), 2u) << "attached and detached around the add";

    // the same proposal again: the name is taken, so the dialog opens with it
    SetupCall again = SetupCall::Add(monitor_);
    HWND d = again.Dialog(IDD_PORT_SETUP_ADD);
    EXPECT_EQ(DialogFields(d), "SIB|10.0.0.9:q1|0|raw|bytes on");
    ASSERT_TRUE(ClickButton(d, IDOK));
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].text, "The port you have just entered already exists.");
    ASSERT_TRUE(ClickButton(d, IDCANCEL));
    EXPECT_EQ(again.Returned(), "FALSE 0");
}

struct ProposalCase {
    const char *what;
    std::string values;
    bool silent;
    std::string name, address;  // the saved port, or the dialog's fields
    DWORD protocol, port;
    std::string queue = "";  // the saved queue
};

TEST_F(SiblingImportTest, EachValueIsKeptOnlyWhenItPassesItsRule) {
    const std::string ip = "10.0.0.9", name = RegText("PortName", "PX"), addr = RegText("IPAddress", ip);
    const std::string q100 = RegText("LPRQueue", std::string(100, 'q')), n40(40, 'n'), h27(27, 'h'),
                      h28(28, 'h');
    const ProposalCase cases[] = {
        {"protocol 0", RegDword("Protocol", 0) + name + addr, true, "PX", ip, 1, 9100},
        {"protocol 4", RegDword("Protocol", 4) + name + addr, true, "PX", ip, 1, 9100},
        {"protocol 2", RegDword("Protocol", 2) + name + addr, true, "PX", ip, 2, 9100},
        {"protocol as text", RegText("Protocol", "3") + name + addr, true, "PX", ip, 1, 9100},
        {"raw port 65536", RegDword("RawPort", 65536) + name + addr, true, "PX", ip, 1, 9100},
        {"raw port 65535", RegDword("RawPort", 65535) + name + addr, true, "PX", ip, 1, 65535},
        {"name of 40", RegText("PortName", n40) + addr, true, n40, ip, 1, 9100},
        {"name of 41", RegText("PortName", n40 + "n") + addr, false, "", ip, 1, 9100},
        {"name with a backslash", RegText("PortName", "a\\b") + addr, false, "", ip, 1, 9100},
        {"name a prefix of a port's", RegText("PortName", "LP_") + addr, false, "LP_", ip, 1, 9100},
        {"name of 256 bytes, no terminator", RegHex("PortName", std::string(256, 'n')) + addr, false, "", ip,
         1, 9100},
        {"address with no terminator", name + RegHex("IPAddress", ip), true, "PX", ip, 1, 9100},
        {"queue 100 + address 27: host, colon and queue fit the field",
         name + q100 + RegText("IPAddress", h27), true, "PX", h27, 1, 9100, std::string(100, 'q')},
        {"queue 100 + address 28", name + q100 + RegText("IPAddress", h28), true, "PX", h28, 1, 9100},
        {"address of 129", name + RegText("LPRQueue", "q") + RegText("IPAddress", std::string(129, 'h')),
         false, "PX", "", 1, 9100},
        {"address with a space", name + RegText("IPAddress", "my host"), false, "PX", "", 1, 9100},
        {"queue with a colon", name + addr + RegText("LPRQueue", "a:b"), true, "PX", ip, 1, 9100},
    };
    for (const ProposalCase &c : cases) {
        ImportReg(std::string("[-") + kSiblingKey + "]\n");
        Propose(c.values);
        SetupCall call = SetupCall::Add(monitor_);
        if (c.silent) {
            EXPECT_EQ(call.Returned(), "TRUE 0") << c.what;
            EXPECT_EQ(Saved(c.name), c.address + "|" + c.queue + "|" + std::to_string(c.protocol) + "|" +
                                         std::to_string(c.port))
                << c.what;
            EXPECT_EQ(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR)c.name.c_str()), TRUE) << c.what;
        } else {
            HWND d = call.Dialog(IDD_PORT_SETUP_ADD);
            ASSERT_NE(d, nullptr) << c.what;
            EXPECT_EQ(DialogFields(d),
                      c.name + "|" + c.address + "|" + std::to_string(c.port) + "|lpr|bytes on")
                << c.what;
            ASSERT_TRUE(ClickButton(d, IDCANCEL));
            ASSERT_TRUE(call.Finished());
        }
    }
}

TEST_F(SiblingImportTest, AnotherMonitorsNameIsRefusedBeforeAnythingElse) {
    Propose(RegText("PortName", "SIB") + RegText("IPAddress", "10.0.0.9"));
    for (const char *other : {"Local Port", "QV TCP/IP LMR Port2", "QV TCP/IP LMR Por", ""}) {
        SetupCall call = SetupCall::Add(monitor_, other);
        EXPECT_EQ(call.Returned(), "FALSE " + std::to_string(ERROR_INVALID_PARAMETER)) << other;
    }
    EXPECT_TRUE(InputAttachments().empty());
    EXPECT_EQ(StoredText("Ports", "SIB"), "<none>");
}

TEST_F(SiblingImportTest, SpoolerModuleThatCannotBeLoadedStopsTheSilentAddAndTheDialogsOk) {
    Propose(RegText("PortName", "SIB") + RegText("IPAddress", "10.0.0.9"));
    FailLoadLibrary("SPOOLSS.DLL", true);
    SetupCall call = SetupCall::Add(monitor_);
    EXPECT_EQ(call.Returned(), "FALSE " + std::to_string(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(StoredText("Ports", "SIB"), "<none>");
    ASSERT_EQ(InputAttachments().size(), 2u);
    EXPECT_FALSE(InputAttachments()[1].attach) << "detached before returning";

    ImportReg(std::string("[-") + kSiblingKey + "]\n");
    SetupCall typed = SetupCall::Add(monitor_);
    HWND d = typed.Dialog(IDD_PORT_SETUP_ADD);
    ASSERT_TRUE(PasteText(d, IDC_PORT_NAME, "TYPED"));
    ASSERT_TRUE(PasteText(d, IDC_ADDRESS, "10.0.0.9"));
    ASSERT_TRUE(ClickButton(d, IDOK));
    EXPECT_TRUE(DialogOpen(d));
    EXPECT_TRUE(MessageBoxes().empty()) << "no message for a load error";
    EXPECT_EQ(FocusedControl(d), IDC_PORT_NAME);
    EXPECT_TRUE(ControlEnabled(d, IDOK));
    FailLoadLibrary("SPOOLSS.DLL", false);
    ASSERT_TRUE(ClickButton(d, IDOK));
    EXPECT_EQ(typed.Returned(), "TRUE 0");
    EXPECT_EQ(StoredText("Ports", "TYPED"), "10.0.0.9");
}

}  // namespace
