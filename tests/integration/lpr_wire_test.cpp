// What reaches the printer, byte for byte, in the three modes.
#include "print_fixture.h"

namespace {

class WireTest : public PrintTest {};

TEST_F(WireTest, SpooledJobMatchesTheProtocolExample) {
    REQUIRE_RESERVED_PORTS();
    AddPortValue("lpt", "127.0.0.1", 1, -1, "q1");
    ImportReg(std::string("[") + kMonitorKey + "\\Config]\n\"SeqNum\"=dword:00000006\n");
    ASSERT_TRUE(StartMonitor());
    Lpd();
    DWORD job = QueueJob("lpt");
    std::string data = Bytes(1000);
    PrintResult r = Print("lpt", job, data);
    ASSERT_TRUE(r.started && r.written && r.ended);
    ASSERT_TRUE(Lpd().WaitForConversations(1, 5000));
    Conversation c = Lpd().Conversations().at(0);
    EXPECT_EQ(c.sourcePort, 1023);
    EXPECT_TRUE(c.complete);
    EXPECT_FALSE(c.reset);
    EXPECT_EQ(c.controlFile, "HPC1\nPalice\nJReport\nldfA007PC1\nUdfA007PC1\nNReport\n");
    EXPECT_EQ(c.controlFile.size(), 50u);
    EXPECT_EQ(c.received.substr(0, 4), std::string("\x02q1\n"));
    EXPECT_EQ(c.controlHeader, std::string("\x02") + "50 cfA007PC1\n");
    EXPECT_EQ(c.dataHeader, std::string("\x03") + "1000 dfA007PC1\n");
    EXPECT_EQ(c.dataFile, data);
    // receive-job line, control header, file, end byte, data header, data, end byte: nothing else
    EXPECT_EQ(c.received.size(), 4 + c.controlHeader.size() + 50 + 1 + c.dataHeader.size() + 1000 + 1);
    DWORD v;
    ASSERT_TRUE(ReadDword("Config", "PortNum", &v));
    EXPECT_EQ(v, 1022u);
    ASSERT_TRUE(ReadDword("Config", "SeqNum", &v));
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(SpoolFiles().empty());
    qvhost::JobView view;
    EXPECT_FALSE(qvhost::GetJob(job, &view)) << "a delivered job leaves the queue";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Sending...", "Deleting..."}));
    EXPECT_EQ(qvhost::OpenSockets(), 0);
    EXPECT_EQ(qvhost::OpenFileHandles(), 0);
    EXPECT_EQ(qvhost::OpenPrinterHandles(), 0);
}

TEST_F(WireTest, EveryModeDeliversEveryByteForEdgeSizes) {
    REQUIRE_RESERVED_PORTS();
    AddPortValue("m1", "127.0.0.1", 1, -1, "q");
    AddPortValue("m2", "127.0.0.1", 2, -1, "q");
    AddPortValue("m3", "127.0.0.1", 3, 9100);
    ASSERT_TRUE(StartMonitor());
    Lpd();
    Raw(9100);
    size_t lpdSeen = 0, rawSeen = 0;
    unsigned seed = 1;
    for (size_t size : {0, 1, 8191, 8192, 8193, 200000}) {
        for (const char *port : {"m1", "m2", "m3"}) {
            std::string data = Bytes(size, ++seed);
            DWORD job = QueueJob(port);
            PrintResult r = Print(port, job, data, 2, "Report", 7000);
            ASSERT_TRUE(r.started) << port << " " << size;
            ASSERT_TRUE(r.ended);
            bool raw = std::string(port) == "m3";
            TestPrinter &p = raw ? Raw() : Lpd();
            size_t &seen = raw ? rawSeen : lpdSeen;
            ASSERT_TRUE(p.WaitForConversations(++seen, 5000));
            Conversation c = p.Conversations().at(seen - 1);
            EXPECT_EQ(c.dataFile.size(), data.size()) << port << " " << size;
            EXPECT_TRUE(c.dataFile == data) << port << " " << size;
            if (std::string(port) == "m2") {
                EXPECT_EQ(c.dataHeader.substr(0, 17), std::string("\x03") + "125899906843000 ");
                // no end byte: the connection's end ends the file
                EXPECT_EQ(c.received.substr(c.received.size() - data.size()), data);
            }
            if (std::string(port) == "m1") {
                EXPECT_EQ(c.dataHeader.substr(0, 2 + std::to_string(size).size()),
                          "\x03" + std::to_string(size) + " ");
            }
        }
    }
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(qvhost::OpenSockets(), 0);
    EXPECT_EQ(qvhost::OpenFileHandles(), 0);
}

TEST_F(WireTest, LargeDocumentArrivesWholeInEveryMode) {
    REQUIRE_RESERVED_PORTS();
    AddPortValue("m1", "127.0.0.1", 1);
    AddPortValue("m2", "127.0.0.1", 2);
    AddPortValue("m3", "127.0.0.1", 3);
    ASSERT_TRUE(StartMonitor());
    Lpd();
    Raw(9100);
    std::string data = Bytes(64 << 20, 99);
    int lpdSeen = 0;
    for (const char *port : {"m1", "m2", "m3"}) {
        DWORD job = QueueJob(port);
        PrintResult r = Print(port, job, data);
        ASSERT_TRUE(r.started && r.written && r.ended) << port;
        bool raw = std::string(port) == "m3";
        TestPrinter &p = raw ? Raw() : Lpd();
        ASSERT_TRUE(p.WaitForConversations(raw ? 1 : ++lpdSeen, 20000));
        Conversation c = p.Conversations().back();
        EXPECT_EQ(c.dataFile.size(), data.size()) << port;
        EXPECT_TRUE(c.dataFile == data) << port;
        if (!raw) {
            EXPECT_EQ(c.queue, port) << "the queue defaults to the port name";
        }
    }
}

TEST_F(WireTest, DocumentNamesAreCutForTheBannerAndSourceLines) {
    REQUIRE_RESERVED_PORTS();
    ASSERT_TRUE(StartWithLpdPort());
    std::string name(150, 'x');
    for (int i = 0; i < 150; ++i) name[i] = (char)('a' + i % 26);
    DWORD job = QueueJob("lpt", name);
    ASSERT_TRUE(Print("lpt", job, "data", 2, name).ended);
    ASSERT_TRUE(Lpd().WaitForConversations(1, 5000));
    std::string cf = Lpd().Conversations()[0].controlFile;
    EXPECT_NE(cf.find("\nJ" + name.substr(0, 99) + "\n"), std::string::npos) << cf;
    EXPECT_NE(cf.find("\nN" + name.substr(0, 131) + "\n"), std::string::npos) << cf;

    // In code page 932 a lead byte in the last kept position is dropped with its pair.
    qvhost::SetCodePage(932);
    std::string dbcs(98, 'a');
    dbcs += "\x82\xa0";  // bytes 99 and 100: one double-byte character
    dbcs += std::string(30, 'b');
    dbcs += "\x82\xa0";  // bytes 131 and 132
    job = QueueJob("lpt", dbcs);
    ASSERT_TRUE(Print("lpt", job, "data", 2, dbcs).ended);
    ASSERT_TRUE(Lpd().WaitForConversations(2, 5000));
    cf = Lpd().Conversations()[1].controlFile;
    EXPECT_NE(cf.find("\nJ" + dbcs.substr(0, 98) + "\n"), std::string::npos);
    EXPECT_NE(cf.find("\nN" + dbcs.substr(0, 130) + "\n"), std::string::npos);
}

TEST_F(WireTest, EmptyNamesAndFailingIdentityCalls) {
    REQUIRE_RESERVED_PORTS();
    AddPortValue("lpt", "127.0.0.1", 1, -1, "");  // empty queue: the port name is used
    ASSERT_TRUE(StartMonitor());
    Lpd();
    qvhost::SetComputerName(nullptr);
    qvhost::SetUserName(nullptr);
    DWORD job = QueueJob("lpt", "");
    ASSERT_TRUE(Print("lpt", job, "x", 2, "").ended);
    ASSERT_TRUE(Lpd().WaitForConversations(1, 5000));
    Conversation c = Lpd().Conversations()[0];
    EXPECT_EQ(c.queue, "lpt");
    EXPECT_EQ(c.controlFile, "Hunknown\nP\nJ\nldfA000unknown\nUdfA000unknown\nN\n");
    // Names longer than the host and user lines hold are cut to 31 bytes there.
    std::string host(40, 'h'), user(40, 'u');
    host[30] = 'X', user[30] = 'Y';
    qvhost::SetComputerName(host.c_str());
    qvhost::SetUserName(user.c_str());
    ASSERT_TRUE(Print("lpt", QueueJob("lpt", ""), "x", 2, "").ended);
    ASSERT_TRUE(Lpd().WaitForConversations(2, 5000));
    std::string cf = Lpd().Conversations()[1].controlFile;
    EXPECT_EQ(cf.substr(0, cf.find("\nJ")), "H" + host.substr(0, 31) + "\nP" + user.substr(0, 31)) << cf;
}

TEST_F(WireTest, LevelOneDocumentIsSentOnceWithoutStatusTexts) {
    REQUIRE_RESERVED_PORTS();
    AddPortValue("lpt", "127.0.0.1", 1);
    AddPortValue("raw", "127.0.0.1", 3);
    ASSERT_TRUE(StartMonitor());
    Lpd();
    DWORD job = QueueJob("lpt");
    ASSERT_TRUE(Print("lpt", job, "hello", 1).ended);
    ASSERT_TRUE(Lpd().WaitForConversations(1, 5000));
    EXPECT_EQ(Lpd().Conversations()[0].dataFile, "hello");
    // A failing level-1 transfer is not retried either; the files still go.
    job = QueueJob("raw");
    Raw(9100);
    ASSERT_TRUE(Print("raw", job, "direct", 1).ended);
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(SpoolFiles().empty());
}

TEST_F(WireTest, RawCloseReadsThePrintersOutputAwayAndEndsGracefully) {
    REQUIRE_RESERVED_PORTS();
    AddPortValue("raw", "127.0.0.1", 3, 9101);
    ASSERT_TRUE(StartMonitor());
    Raw(9101).SetRawOutput(Bytes(300000, 5));  // more than the socket buffers hold unread
    DWORD job = QueueJob("raw");
    ASSERT_TRUE(Print("raw", job, "payload").ended);
    ASSERT_TRUE(Raw().WaitForConversations(1, 5000));
    Conversation c = Raw().Conversations()[0];
    EXPECT_EQ(c.dataFile, "payload");
    EXPECT_FALSE(c.reset) << "unread output at close would have reset the connection";
}

}  // namespace
