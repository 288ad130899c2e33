// What reaches the printer, byte for byte, in the three modes.
#include "print_fixture.h"

namespace {

class WireTest : public NetworkTest {};

TEST_F(WireTest, SpooledJobMatchesTheProtocolExample) {
    SetCounter("SeqNum", 6);
    ASSERT_TRUE(StartWithPorts({{"lpt", 1, -1, "q1"}}));
    Lpd();
    DWORD job = QueueJob("lpt");
    std::string data = Bytes(1000);
    PrintResult r = Print("lpt", job, data);
    ASSERT_TRUE(r.ok());
    Conversation c = Received(Lpd(), 1)[0];
    EXPECT_EQ(c.sourcePort, 1023);
    EXPECT_TRUE(c.complete && !c.reset) << "ended in order";
    EXPECT_EQ(c.controlFile, "HPC1\nPalice\nJReport\nldfA007PC1\nUdfA007PC1\nNReport\n");
    // receive-job line, control header, file, end byte, data header, data, end byte: nothing else
    const std::string end(1, '\0');  // \002 and \003 are the subcommand bytes
    EXPECT_TRUE(c.received ==
                "\002q1\n\00250 cfA007PC1\n" + c.controlFile + end + "\0031000 dfA007PC1\n" + data + end);
    EXPECT_EQ(Counter("PortNum"), 1022u);
    EXPECT_EQ(Counter("SeqNum"), 7u);
    EXPECT_FALSE(InQueue(job)) << "a delivered job leaves the queue";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Sending...", "Deleting..."}));
    ExpectNothingLeft();
}

// Defaults too: the queue is the port name, the raw port 9100.
TEST_F(WireTest, EveryModeDeliversEveryByteForEdgeSizes) {
    ASSERT_TRUE(StartWithPorts({{"m1", 1}, {"m2", 2}, {"m3", 3}}));
    Lpd();
    Raw(9100);
    size_t lpdSeen = 0, rawSeen = 0;
    unsigned seed = 1;
    for (size_t size : {0, 1, 8191, 8192, 8193, 200000, 64 << 20}) {
        for (std::string port : {"m1", "m2", "m3"}) {
            std::string data = Bytes(size, ++seed);
            PrintResult r = Print(port, QueueJob(port), data, 2, "Report", size > 200000 ? 65536 : 7000);
            ASSERT_TRUE(r.ok()) << port << " " << size;
            bool raw = port == "m3";
            Conversation c = Received(raw ? Raw() : Lpd(), raw ? ++rawSeen : ++lpdSeen, 20000).back();
            EXPECT_TRUE(c.dataFile == data)
                << port << " " << size << ": " << c.dataFile.size() << " received";
            EXPECT_EQ(raw ? port : c.queue, port) << "the queue defaults to the port name";
            if (port == "m2") {
                EXPECT_EQ(c.dataHeader.substr(0, 17), std::string("\x03") + "125899906843000 ");
                // no end byte: the connection's end ends the file
                EXPECT_EQ(c.received.substr(c.received.size() - data.size()), data);
            }
            if (port == "m1") {
                EXPECT_EQ(c.dataHeader.substr(0, c.dataHeader.find(' ')), "\x03" + std::to_string(size));
            }
        }
    }
    ExpectNothingLeft();
}

TEST_F(WireTest, DocumentNamesAreCutForTheBannerAndSourceLines) {
    ASSERT_TRUE(StartWithLpdPort());
    std::string name(150, 'x');
    for (int i = 0; i < 150; ++i) name[i] = (char)('a' + i % 26);
    DWORD job = QueueJob("lpt", name);
    ASSERT_TRUE(Print("lpt", job, "data", 2, name).ended);
    std::string cf = Received(Lpd(), 1)[0].controlFile;
    EXPECT_THAT(cf, HasSubstr("\nJ" + name.substr(0, 99) + "\n"));
    EXPECT_THAT(cf, HasSubstr("\nN" + name.substr(0, 131) + "\n"));

    // In code page 932 a lead byte in the last kept position is dropped with its pair.
    qvhost::SetCodePage(932);
    std::string dbcs(98, 'a');
    dbcs += "\x82\xa0";  // bytes 99 and 100: one double-byte character
    dbcs += std::string(30, 'b');
    dbcs += "\x82\xa0";  // bytes 131 and 132
    job = QueueJob("lpt", dbcs);
    ASSERT_TRUE(Print("lpt", job, "data", 2, dbcs).ended);
    cf = Received(Lpd(), 2)[1].controlFile;
    EXPECT_THAT(cf, HasSubstr("\nJ" + dbcs.substr(0, 98) + "\n"));
    EXPECT_THAT(cf, HasSubstr("\nN" + dbcs.substr(0, 130) + "\n"));
}

TEST_F(WireTest, EmptyNamesAndFailingIdentityCalls) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1, -1, ""}}));  // empty queue: the port name is used
    Lpd();
    qvhost::SetComputerName(nullptr);
    qvhost::SetUserName(nullptr);
    DWORD job = QueueJob("lpt", "");
    ASSERT_TRUE(Print("lpt", job, "x", 2, "").ended);
    Conversation c = Received(Lpd(), 1)[0];
    EXPECT_EQ(c.queue, "lpt");
    EXPECT_EQ(c.controlFile, "Hunknown\nP\nJ\nldfA000unknown\nUdfA000unknown\nN\n");
    // Names longer than the host and user lines hold are cut to 31 bytes there.
    std::string host(40, 'h'), user(40, 'u');
    host[30] = 'X', user[30] = 'Y';
    qvhost::SetComputerName(host.c_str());
    qvhost::SetUserName(user.c_str());
    ASSERT_TRUE(Print("lpt", QueueJob("lpt", ""), "x", 2, "").ended);
    std::string cf = Received(Lpd(), 2)[1].controlFile;
    EXPECT_EQ(cf.substr(0, cf.find("\nJ")), "H" + host.substr(0, 31) + "\nP" + user.substr(0, 31)) << cf;
}

TEST_F(WireTest, LevelOneDocumentIsSentOnceWithoutStatusTexts) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}, {"raw", 3}}));
    Lpd();
    DWORD job = QueueJob("lpt");
    ASSERT_TRUE(Print("lpt", job, "hello", 1).ended);
    EXPECT_EQ(Received(Lpd(), 1)[0].dataFile, "hello");
    // A failing level-1 transfer is not retried either; the files still go.
    job = QueueJob("raw");
    Raw(9100);
    ASSERT_TRUE(Print("raw", job, "direct", 1).ended);
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(SpoolFiles().empty());
}

TEST_F(WireTest, RawCloseReadsThePrintersOutputAwayAndEndsGracefully) {
    ASSERT_TRUE(StartWithPorts({{"raw", 3, 9101}}));
    Raw(9101).SetRawOutput(Bytes(300000, 5));  // more than the socket buffers hold unread
    DWORD job = QueueJob("raw");
    ASSERT_TRUE(Print("raw", job, "payload").ended);
    Conversation c = Received(Raw(), 1)[0];
    EXPECT_EQ(c.dataFile, "payload");
    EXPECT_FALSE(c.reset) << "unread output at close would have reset the connection";
}

}  // namespace
