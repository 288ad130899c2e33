// The setup dialog through AddPort and ConfigurePort of the MONITOR table, played as a user
// would: what it shows, what it refuses and with which message, what it saves, the name
// lookup, context help and the About box.
#include "../../src/ui/resource.h"

#include "monitor_fixture.h"
#include "setup_call.h"

#include <iterator>

using namespace qvhost;

namespace {

const char kCaption[] = "Error for QV TCP/IP Quorvane Port Setup";
const char kInputError[] = "Input error.  Please input again.";
const char kExists[] = "The port you have just entered already exists.";
const char kPrefix[] =
    "The port you have just entered cannot be set.\nPart of the port name is same as the existing port name.";
const char kUnavailable[] = "The host you have just entered is not available.\nPlease input again.";

class PortSetupTest : public MonitorTest {
  protected:
    void SetUp() override {
        MonitorTest::SetUp();
        AddPortValue("LP_OLD", "10.0.0.1", 1, 777, "q");
        ASSERT_TRUE(StartMonitor());
        ClearDialogRecords();
    }

    // Opens the add dialog and pastes its fields (Raw with the port number, when one is
    // given); the call is left running.
    HWND OpenAdd(SetupCall &call, const std::string &name, const std::string &address,
                 const char *portNumber = nullptr) {
        HWND d = call.Dialog(IDD_PORT_SETUP_ADD);
        bool raw = d && portNumber && ClickButton(d, IDC_RAW) && PasteText(d, IDC_PORT_NUMBER, portNumber);
        EXPECT_TRUE(d && (raw || !portNumber) && PasteText(d, IDC_PORT_NAME, name) &&
                    PasteText(d, IDC_ADDRESS, address));
        return d;
    }

    bool Listed(const std::string &port) {
        return ("," + PortNames() + ",").find("," + port + ",") != std::string::npos;
    }
    // The one message box shown since the last look, as "<caption>|<text>".
    std::string TakeMessage() {
        std::vector<MessageBoxRecord> boxes = MessageBoxes();
        std::string shown = boxes.size() == seenBoxes_      ? "<none>"
                            : boxes.size() > seenBoxes_ + 1 ? "<several>"
                                                            : boxes.back().caption + "|" + boxes.back().text;
        EXPECT_TRUE(boxes.size() == seenBoxes_ || (boxes.back().type == MB_ICONHAND && boxes.back().owner))
            << "a stop icon, a single OK button and an owner";
        seenBoxes_ = boxes.size();
        return shown;
    }
    size_t seenBoxes_ = 0;
};

TEST_F(PortSetupTest, AddDialogStartsEmptyWithLprAndEnablesOkOnNameAndAddress) {
    HWND parent = CreateTopWindow("Printers");
    SetupCall call = SetupCall::Add(monitor_, "QV TCP/IP LMR Port", parent);
    HWND d = call.Dialog(IDD_PORT_SETUP_ADD);
    EXPECT_EQ(DialogCaption(d), "QV TCP/IP Quorvane Port Setup");
    EXPECT_EQ(ForegroundWindow(), d);
    EXPECT_EQ(std::vector<size_t>(
                  {FieldLimit(d, IDC_PORT_NAME), FieldLimit(d, IDC_ADDRESS), FieldLimit(d, IDC_PORT_NUMBER)}),
              std::vector<size_t>({40, 128, 5}));
    EXPECT_EQ(DialogFields(d), "||9100|lpr|bytes on");
    EXPECT_FALSE(ControlEnabled(d, IDC_PORT_NUMBER) || ControlEnabled(d, IDC_PORT_NUMBER_LABEL));
    EXPECT_FALSE(ControlEnabled(d, IDOK)) << "the start's own updates apply the rule";
    EXPECT_EQ(FocusedControl(d), IDC_PORT_NAME);
    EXPECT_EQ(TabOrder(d), (std::vector<int>{IDC_PORT_NAME, IDC_ADDRESS, IDC_LPR, IDC_RAW, IDC_BYTE_COUNT,
                                             IDC_PORT_NUMBER, IDOK, IDCANCEL, IDC_ABOUT}));

    EXPECT_TRUE(TypeText(d, IDC_PORT_NAME, "new"));
    EXPECT_FALSE(ControlEnabled(d, IDOK));
    EXPECT_TRUE(TypeText(d, IDC_ADDRESS, "10.1.2.3"));
    EXPECT_TRUE(ControlEnabled(d, IDOK));
    EXPECT_TRUE(TypeText(d, IDC_PORT_NAME, ""));
    EXPECT_FALSE(ControlEnabled(d, IDOK));

    EXPECT_TRUE(ClickButton(d, IDC_RAW));
    EXPECT_TRUE(ControlEnabled(d, IDC_PORT_NUMBER));
    EXPECT_FALSE(ControlEnabled(d, IDC_BYTE_COUNT));
    EXPECT_TRUE(TypeText(d, IDC_PORT_NUMBER, ""));
    EXPECT_EQ(FieldText(d, IDC_PORT_NUMBER), "9100") << "an emptied port number is refilled at once";
    EXPECT_TRUE(TypeText(d, IDC_PORT_NUMBER, "5x1234567"));
    EXPECT_EQ(FieldText(d, IDC_PORT_NUMBER), "51234") << "digits only, five at most";
    EXPECT_TRUE(ClickButton(d, IDC_LPR));
    EXPECT_FALSE(ControlEnabled(d, IDC_PORT_NUMBER));
    EXPECT_TRUE(ControlEnabled(d, IDC_BYTE_COUNT));

    ClearSleeps();
    EXPECT_TRUE(PressEsc(d));
    EXPECT_EQ(call.Returned(), "FALSE 0");
    EXPECT_EQ(CountSleeps(100), 1u);
    DWORD owner = (DWORD)getpid();  // the window's thread: this process's main thread
    std::vector<InputAttachment> a = InputAttachments();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_TRUE(a[0].from == call.thread() && a[0].to == owner && a[0].attach);
    EXPECT_TRUE(a[1].from == owner && a[1].to == call.thread() && !a[1].attach)
        << "detached in reverse order";
    EXPECT_EQ(StoredText("Ports", "new"), "<none>");
    DestroyTopWindow(parent);
}

struct SavedCase {
    const char *typed, *saved;  // what is typed, and saved as "address|queue|protocol|port number"
    int lookups;
    const char *portNumber = nullptr;  // Raw with that number
};

TEST_F(PortSetupTest, AddressFormsSaveHostAndQueueWithOrWithoutLookup) {
    const SavedCase cases[] = {
        {"10.1.2.3:lp", "10.1.2.3|lp|1|-", 0},         // LPR writes no port number
        {"010.001.002.003:lp", "10.1.2.3|lp|1|-", 0},  // the field was rewritten before the save
        {"0001.2.3.4", "1.2.3.4||1|-", 0},
        {"0x0a.1.1.1", "0x0a.1.1.1||1|-", 0},
        {"printer1", "printer1||1|-", 1},
        {"printer1:", "printer1||1|-", 1},
        {"255.255.255.255:q", "255.255.255.255|q|1|-", 1},  // inet_addr refuses it: the name service decides
        // the raw port number's range is settled when saving
        {"10.1.2.3", "10.1.2.3||3|9100", 0, "65536"},
        {"10.1.2.3", "10.1.2.3||3|0", 0, "0"},
        {"10.1.2.3", "10.1.2.3||3|65535", 0, "65535"},
        {"10.1.2.3", "10.1.2.3||3|515", 0, "00515"},
    };
    int n = 0;
    for (const SavedCase &c : cases) {
        std::string name = "P" + std::to_string(100 + ++n);  // of one length: none a prefix of another
        int lookupsBefore = LookupsStarted();
        SetupCall call = SetupCall::Add(monitor_);
        HWND d = OpenAdd(call, name, c.typed, c.portNumber);
        ASSERT_TRUE(ClickButton(d, IDOK)) << c.typed;
        EXPECT_EQ(call.Returned(), "TRUE 0") << c.typed;
        EXPECT_EQ(LookupsStarted() - lookupsBefore, c.lookups) << c.typed;
        EXPECT_EQ(Saved(name), c.saved) << c.typed;
        EXPECT_TRUE(Listed(name)) << c.typed;
        EXPECT_EQ(TakeMessage(), "<none>") << c.typed;
    }
}

struct RefusedCase {
    const char *name, *address, *portNumber;  // portNumber: Raw with that text pasted
    const char *message;
    int focus;
};

TEST_F(PortSetupTest, RefusedEntriesKeepTheDialogOpenWithTheirMessage) {
    const RefusedCase cases[] = {
        {"A1", "host:q:x", nullptr, kInputError, IDC_ADDRESS},
        {"A2", ":lp", nullptr, kInputError, IDC_ADDRESS},
        {"A3", "my host", nullptr, kInputError, IDC_ADDRESS},
        {"A4", "host:q q", nullptr, kInputError, IDC_ADDRESS},
        {"a\\b", "10.1.2.3", nullptr, kInputError, IDC_PORT_NAME},
        {"A6", "10.1.2.3", "12a", kInputError, IDC_PORT_NUMBER},
        {"lp_old", "10.1.2.3", nullptr, kExists, IDC_PORT_NAME},
        {"lpt1:", "10.1.2.3", nullptr, kExists, IDC_PORT_NAME},
        {"LPT1", "10.1.2.3", nullptr, kPrefix, IDC_PORT_NAME},
        {"LP_OLDER", "10.1.2.3", nullptr, kPrefix, IDC_PORT_NAME},
        {"1.2.3", "1.2.3", nullptr, kUnavailable, IDC_ADDRESS},
        {"A13", "printer2", nullptr, kUnavailable, IDC_ADDRESS},
    };
    for (const RefusedCase &c : cases) {
        std::string before = ExportRegText(kMonitorKey, true);
        SetupCall call = SetupCall::Add(monitor_);
        HWND d = OpenAdd(call, c.name, c.address, c.portNumber);
        ASSERT_TRUE(ClickButton(d, IDOK));
        EXPECT_TRUE(DialogOpen(d)) << c.name << " " << c.address;
        EXPECT_EQ(TakeMessage(), std::string(kCaption) + "|" + c.message) << c.name << " " << c.address;
        EXPECT_EQ(FocusedControl(d), c.focus) << c.name << " " << c.address;
        EXPECT_TRUE(ControlEnabled(d, IDOK) && ControlEnabled(d, IDC_ADDRESS) && ControlEnabled(d, IDC_LPR))
            << "controls are usable again: " << c.name;
        EXPECT_EQ(ExportRegText(kMonitorKey, true), before) << "nothing saved: " << c.name;
        ASSERT_TRUE(ClickButton(d, IDCANCEL));
        EXPECT_EQ(call.Returned(), "FALSE 0") << c.name;
    }
}

TEST_F(PortSetupTest, LookupCanBeCalledOffAndItsFailureToStartSaysNothing) {
    HoldLookups(true);
    int cancelled = LookupsCancelled();
    SetupCall call = SetupCall::Add(monitor_);
    HWND d = OpenAdd(call, "SLOW", "printer1:q");
    ASSERT_TRUE(ClickButton(d, IDOK));
    for (int id : {IDOK, IDC_ABOUT, IDC_PORT_NAME, IDC_ADDRESS, IDC_LPR, IDC_RAW, IDC_BYTE_COUNT})
        EXPECT_FALSE(ControlEnabled(d, id)) << id << " while the lookup is under way";
    EXPECT_TRUE(ControlEnabled(d, IDCANCEL));
    EXPECT_TRUE(AskHelp(d, IDC_ADDRESS)) << "help still answers";
    EXPECT_EQ(HelpRequests().size(), 1u);

    ASSERT_TRUE(ClickButton(d, IDCANCEL));
    EXPECT_EQ(LookupsCancelled(), cancelled + 1);
    EXPECT_TRUE(DialogOpen(d)) << "the first Cancel only calls the lookup off";
    EXPECT_TRUE(ControlEnabled(d, IDOK) && ControlEnabled(d, IDC_ADDRESS));
    EXPECT_EQ(FocusedControl(d), IDC_ADDRESS);
    HoldLookups(false);
    EXPECT_TRUE(WaitDialogIdle(d));
    EXPECT_TRUE(DialogOpen(d)) << "a lookup called off never saves";
    EXPECT_EQ(StoredText("Ports", "SLOW"), "<none>");

    FailLookupStart(true);
    ASSERT_TRUE(ClickButton(d, IDOK));
    FailLookupStart(false);
    EXPECT_TRUE(DialogOpen(d));
    EXPECT_EQ(TakeMessage(), "<none>");
    EXPECT_EQ(FocusedControl(d), IDC_ADDRESS);
    EXPECT_TRUE(ControlEnabled(d, IDOK));

    // The caption's close button acts as Cancel: it calls a lookup off, then closes.
    HoldLookups(true);
    ASSERT_TRUE(ClickButton(d, IDOK));
    ASSERT_TRUE(CloseFromCaption(d));
    EXPECT_EQ(LookupsCancelled(), cancelled + 2);
    EXPECT_TRUE(DialogOpen(d));
    HoldLookups(false);
    ASSERT_TRUE(CloseFromCaption(d));
    EXPECT_EQ(call.Returned(), "FALSE 0");
}

TEST_F(PortSetupTest, ConfigureShowsStoredValuesAndSavesWithoutANewRecord) {
    AddPortValue("RAWQ", "10.0.0.5", 3, 515, "q");
    AddPortValue("BARE", "10.0.0.6");
    SetupCall call = SetupCall::Configure(monitor_, "RAWQ");
    HWND d = call.Dialog(IDD_PORT_SETUP_CONFIGURE);
    EXPECT_TRUE(ControlStyle(d, IDC_PORT_NAME) & ES_READONLY);
    EXPECT_FALSE(PasteText(d, IDC_PORT_NAME, "OTHER")) << "the name is read-only";
    EXPECT_EQ(DialogFields(d), "RAWQ|10.0.0.5:q|515|raw|bytes on");
    EXPECT_FALSE(ControlEnabled(d, IDC_BYTE_COUNT));
    EXPECT_EQ(FocusedControl(d), IDC_ADDRESS);
    EXPECT_EQ(TabOrder(d).front(), IDC_ADDRESS);
    EXPECT_EQ(TabOrder(d).back(), IDC_PORT_NAME);
    ASSERT_TRUE(PasteText(d, IDC_ADDRESS, "10.0.0.7:r"));
    ASSERT_TRUE(PasteText(d, IDC_PORT_NUMBER, "9101"));
    ASSERT_TRUE(ClickButton(d, IDOK));
    EXPECT_EQ(call.Returned(), "TRUE 0");
    EXPECT_EQ(Saved("RAWQ"), "10.0.0.7|r|3|9101");

    // stored values missing: the defaults; LPR leaves an existing SvrPort alone; cancel is TRUE
    SetupCall bare = SetupCall::Configure(monitor_, "BARE");
    d = bare.Dialog(IDD_PORT_SETUP_CONFIGURE);
    EXPECT_EQ(DialogFields(d), "BARE|10.0.0.6|9100|lpr|bytes on");
    ASSERT_TRUE(ClickButton(d, IDCANCEL));
    EXPECT_EQ(bare.Returned(), "TRUE 0");

    SetupCall old = SetupCall::Configure(monitor_, "LP_OLD");
    d = old.Dialog(IDD_PORT_SETUP_CONFIGURE);
    ASSERT_TRUE(ClickButton(d, IDC_BYTE_COUNT));
    ASSERT_TRUE(ClickButton(d, IDOK));
    ASSERT_TRUE(old.Finished());
    EXPECT_EQ(Saved("LP_OLD"), "10.0.0.1|q|2|777");
    // a streamed port opens with the count cleared: a new address alone keeps it streamed
    SetupCall streamed = SetupCall::Configure(monitor_, "LP_OLD");
    d = streamed.Dialog(IDD_PORT_SETUP_CONFIGURE);
    ASSERT_TRUE(PasteText(d, IDC_ADDRESS, "10.0.0.2:q"));
    ASSERT_TRUE(ClickButton(d, IDOK));
    ASSERT_TRUE(streamed.Finished());
    EXPECT_EQ(Saved("LP_OLD"), "10.0.0.2|q|2|777");
    EXPECT_TRUE(Listed("LP_OLD"));
    EXPECT_FALSE(Listed("RAWQ")) << "configuring makes no port record";
}

TEST_F(PortSetupTest, HelpShowsEachControlsContext) {
    const int controls[] = {
        IDC_PORT_NAME, IDC_PORT_NAME_LABEL, IDC_ADDRESS,     IDC_ADDRESS_LABEL,     IDOK,           IDCANCEL,
        IDC_ABOUT,     IDC_PROTOCOL_GROUP,  IDC_PORT_NUMBER, IDC_PORT_NUMBER_LABEL, IDC_BYTE_COUNT, IDC_LPR,
        IDC_RAW};
    SetupCall call = SetupCall::Add(monitor_);
    HWND d = call.Dialog(IDD_PORT_SETUP_ADD);
    std::string contexts;
    for (int id : controls) {
        ASSERT_TRUE(AskHelp(d, id));
        HelpRecord h = HelpRequests().back();
        EXPECT_TRUE(h.window == d && h.file == "QvLMRmon.hlp" && h.command == (UINT)HELP_CONTEXTPOPUP) << id;
        contexts += std::to_string(h.data) + " ";
    }
    EXPECT_EQ(contexts, "450 450 451 451 452 453 454 455 456 456 457 460 461 ");
    EXPECT_EQ(HelpRequests().size(), std::size(controls));
}

TEST_F(PortSetupTest, AboutBoxPaintsSixLinesInTwoFontsAndKeepsNone) {
    SetupCall call = SetupCall::Add(monitor_);
    HWND setup = call.Dialog(IDD_PORT_SETUP_ADD);
    ASSERT_TRUE(ClickButton(setup, IDC_ABOUT));
    HWND about = call.Dialog(IDD_ABOUT);
    EXPECT_EQ(DialogCaption(about), "About");
    EXPECT_FALSE(ClickButton(setup, IDCANCEL)) << "the setup dialog takes no input under the About box";
    ASSERT_TRUE(Repaint(about));
    ASSERT_TRUE(AskHelp(about, IDOK));
    EXPECT_TRUE(HelpRequests().empty()) << "help inside the About box shows nothing";

    // Each line as "x,y face height/weight text".
    std::vector<std::string> lines;
    for (const TextRecord &t : PaintedText()) {
        const FontRecord &f = t.font;
        EXPECT_EQ(t.window, about);
        lines.push_back(std::to_string(t.x) + "," + std::to_string(t.y) + " " + f.face + " " +
                        std::to_string(f.height) + "/" + std::to_string(f.weight) + " " +
                        (lines.size() % 6 < 4 ? t.text
                         : t.text.empty()     ? "<empty>"
                                              : "<text>"));
    }
    const std::vector<std::string> paint = {"7,7 Arial Bold 25/700 TCP/IP Quorvane",
                                            "7,45 Arial 15/400 TCP/IP Quorvane Version 2.037e",
                                            "7,61 Arial 15/400 for Microsoft (R) Windows 95/98/Me.",
                                            "7,77 Arial 15/400  ",
                                            "7,93 Arial 15/400 <text>",
                                            "7,109 Arial 15/400 <text>"};
    std::vector<std::string> twice = paint;
    twice.insert(twice.end(), paint.begin(), paint.end());
    EXPECT_EQ(lines, twice) << "the first paint and the repaint";
    EXPECT_EQ(FontsCreated(), 4);
    EXPECT_EQ(LiveFonts(), 0) << "every paint deletes the fonts it made";

    ASSERT_TRUE(PressEsc(about));
    EXPECT_TRUE(WaitDialogClosed(about));
    EXPECT_TRUE(DialogOpen(setup));
    ASSERT_TRUE(ClickButton(setup, IDCANCEL)) << "the setup dialog takes input again";
    ASSERT_TRUE(call.Finished());
}

}  // namespace
