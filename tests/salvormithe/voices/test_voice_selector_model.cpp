#include "voices/VoiceSelectorModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "server/DemoCatalogue.h"
#include "voices/VoiceServerClient.h"
#include "voices/VoiceStore.h"

#include "LoopbackServers.h"
#include "ModelCells.h"
#include "TestUtil.h"
#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QSignalSpy>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

namespace fs = std::filesystem;
using testutil::cell;
using testutil::column;
using testutil::waitFor;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The demo catalogue, written once for this test program.
fs::path demoCatalogue()
{
    static testutil::TempDir dir;
    static bool built = [] {
        std::string error;
        bool ok = DemoCatalogue::build(dir.path() / "demo", fs::u8path((testutil::binDir() + "/salvormithe").toStdString()),
                                       error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    EXPECT_TRUE(built);
    return dir.path() / "demo";
}

// Message boxes the model asks for.
struct Boxes
{
    QSignalSpy spy{MessageBoxContext::instance(), &MessageBoxContext::msgbox};
    QVariantMap at(int i) const { return spy.at(i).at(0).toMap(); }
    QString text(int i) const { return at(i).value("msg").toString(); }
    void press(int i, int button) const
    {
        QVariantList cbs = at(i).value("cbs").toList();
        MessageBoxContext::instance()->callBack(cbs.at(button).value<MessageBoxContext::CallBack>());
    }
};

bool idle(const VoiceSelectorModel& m)
{
    return !m.isLoadingServerLangs() && !m.isLoadingServerVoices() && !m.isLoadingLocalVoices()
           && !m.isInstallingVoice();
}

class VoiceSelector : public testing::Test
{
protected:
    void SetUp() override
    {
        qRegisterMetaType<LocalVoice>("LocalVoice");
        qRegisterMetaType<ServerVoice>("ServerVoice");
        removeAll(voicesDir());
        for (const char* uid : {"demo-de-de", "demo-es-es"}) {
            for (int spk = 0; spk < 3; ++spk)
                removeAll(voiceSamplePath(uid, spk));
        }
    }
    void TearDown() override { removeAll(voicesDir()); }

    ServerVoice serverVoice(VoiceSelectorModel& m, const std::string& lang, const std::string& name)
    {
        m.setCurLang(QString::fromStdString(lang));
        m.reloadServerVoices();
        EXPECT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
        for (const ServerVoice& v : m.shownServerVoices()) {
            if (v.name == name)
                return v;
        }
        ADD_FAILURE() << "no voice " << name;
        return ServerVoice();
    }
};

} // namespace

TEST_F(VoiceSelector, MetaObjectFollowsTheDeclaredOrder)
{
    const QMetaObject& mo = VoiceSelectorModel::staticMetaObject;
    QStringList methods;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        methods << QString::fromLatin1(mo.method(i).name());
    EXPECT_EQ(methods.mid(0, 16),
              QStringList({"toClose", "voiceInstalled", "localVoicesLoaded", "curLangChanged", "curLangDisplayChanged",
                           "isLoadingServerLangsChanged", "isLoadingServerVoicesChanged", "isClosingChanged",
                           "loadServerLangsErrorChanged", "loadServerVoicesErrorChanged", "voiceInstallProgressChanged",
                           "isInstallingVoiceChanged", "sortByChanged", "isLoadingLocalVoicesChanged",
                           "loadLocalVoicesErrorChanged", "serverLangModel"}));
    EXPECT_EQ(methods.mid(16, 13), QStringList({"serverVoicesModel", "localVoicesModel", "loadServerLangs",
                                                "reloadServerVoices", "loadLocalVoices", "playSample", "installVoice",
                                                "searchServerVoice", "resortServerVoices", "resortLocalVoices", "close",
                                                "voiceDisplay", "removeVoice"}));
    QStringList props;
    for (int i = mo.propertyOffset(); i < mo.propertyOffset() + 12; ++i)
        props << QString::fromLatin1(mo.property(i).name());
    EXPECT_EQ(props, QStringList({"isLoadingServerLangs", "loadServerLangsError", "isLoadingServerVoices",
                                  "isInstallingVoice", "voiceInstallProgress", "loadServerVoicesError",
                                  "isLoadingLocalVoices", "loadLocalVoicesError", "isClosing", "curLang",
                                  "curLangDisplay", "sortBy"}));

    // A model whose worker never started closes before close() returns.
    VoiceSelectorModel m;
    QSignalSpy closed(&m, &VoiceSelectorModel::toClose);
    m.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(m.isClosing());
}

TEST_F(VoiceSelector, BrowseSearchAndSortTheCatalogue)
{
    voicetest::InProcessServer server(demoCatalogue());
    VoiceSelectorModel m;

    m.loadServerLangs();
    EXPECT_TRUE(m.isLoadingServerLangs());
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(m.serverLangModel(), "lang"), QStringList({"zh-cn", "en-us", "fr-fr", "de-de", "es-es"}));
    EXPECT_EQ(column(m.serverLangModel(), "native_name").at(2), "Français");
    EXPECT_EQ(column(m.serverLangModel(), "eng_name").at(3), "German");
    // Languages are fetched once: a second call changes nothing, not even a flag.
    QSignalSpy langFlag(&m, &VoiceSelectorModel::isLoadingServerLangsChanged);
    m.loadServerLangs();
    EXPECT_EQ(langFlag.count(), 0);

    m.setCurLang("es-es");
    m.reloadServerVoices();
    EXPECT_TRUE(m.isLoadingServerVoices());
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    QAbstractItemModel* voices = m.serverVoicesModel();
    EXPECT_EQ(column(voices, "name"), QStringList({"Lucía", "Mateo", "Sofía"}));
    QVariant whole = cell(voices, 1, "voice");
    EXPECT_EQ(whole.value<ServerVoice>().name, "Mateo");
    EXPECT_EQ(cell(voices, 1, "sex"), QVariant(1));

    auto search = [&](const QString& kw) {
        m.searchServerVoice(kw);
        EXPECT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
        return column(voices, "name");
    };
    // Unicode case rules; only names are searched; blanks restore the list.
    EXPECT_EQ(search("LUCÍA"), QStringList({"Lucía"}));
    EXPECT_EQ(search(" FÍ "), QStringList({"Sofía"}));
    EXPECT_EQ(search("demo"), QStringList());
    EXPECT_EQ(search("es"), QStringList());
    EXPECT_EQ(search("   "), QStringList({"Lucía", "Mateo", "Sofía"}));

    m.resortServerVoices(VoiceSelectorModel::NameDesc);
    EXPECT_TRUE(m.isLoadingServerLangs());
    // The view reads the list as it was until the sorted copy comes back.
    EXPECT_EQ(column(voices, "name"), QStringList({"Lucía", "Mateo", "Sofía"}));
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(m.sortBy(), VoiceSelectorModel::NameDesc);
    EXPECT_EQ(column(voices, "name"), QStringList({"Sofía", "Mateo", "Lucía"}));
    // A search shows server order while sortBy still names the last sort.
    EXPECT_EQ(search("A"), QStringList({"Lucía", "Mateo", "Sofía"}));
    EXPECT_EQ(m.sortBy(), VoiceSelectorModel::NameDesc);

    // A sort whose list is replaced before it ends leaves the new list alone.
    m.resortServerVoices(VoiceSelectorModel::NameDesc);
    m.searchServerVoice("mateo");
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(voices, "name"), QStringList({"Mateo"}));

    // Loads start from IdAsc; an empty language empties the list and starts nothing.
    m.setCurLang("de-de");
    m.reloadServerVoices();
    EXPECT_EQ(m.sortBy(), VoiceSelectorModel::IdAsc);
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(voices, "name"), QStringList({"Lena", "Jonas"}));
    m.setCurLang("");
    QSignalSpy voiceFlag(&m, &VoiceSelectorModel::isLoadingServerVoicesChanged);
    m.reloadServerVoices();
    EXPECT_EQ(voices->rowCount(), 0);
    EXPECT_EQ(voiceFlag.count(), 0);
}

TEST_F(VoiceSelector, AServerThatIsDownGivesErrorTextsAndTheNextLoadRetries)
{
    VoiceSelectorModel m;
    ::setenv(voiceServerEnvVar, "http://127.0.0.1:9/", 1);
    m.loadServerLangs();
    m.setCurLang("de-de");
    m.reloadServerVoices();
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_TRUE(m.loadServerLangsError().startsWith("Network connection error!<br/>CURL: ")) << m.loadServerLangsError().toStdString();
    EXPECT_TRUE(m.loadServerVoicesError().startsWith("Network connection error!<br/>CURL: "));
    EXPECT_TRUE(m.serverLangs().empty());

    voicetest::InProcessServer server(demoCatalogue());
    m.loadServerLangs();
    EXPECT_TRUE(m.loadServerLangsError().isEmpty());
    m.reloadServerVoices();
    EXPECT_TRUE(m.loadServerVoicesError().isEmpty());
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(m.serverLangs().size(), 5u);
    EXPECT_EQ(m.shownServerVoices().size(), 2u);
}

TEST_F(VoiceSelector, SampleInstallSortAndRemove)
{
    voicetest::InProcessServer server(demoCatalogue());
    VoiceSelectorModel m;
    Boxes boxes;

    // The first play downloads the sample under a task; the player then plays it.
    // The download shows at the sample, not as a mask over the list.
    m.playSample("demo-de-de", 0);
    EXPECT_FALSE(m.isLoadingServerVoices());
    EXPECT_EQ(m.loadingSample(), "demo-de-de|0");
    EXPECT_EQ(m.taskKeys(), std::vector<std::string>({"playSample|demo-de-de|0"}));
    ASSERT_TRUE(waitFor([&] { return m.taskKeys().empty(); }, testutil::hangLimitMs));
    EXPECT_EQ(m.loadingSample(), "");
    EXPECT_TRUE(fs::exists(voiceSamplePath("demo-de-de", 0)));
    EXPECT_TRUE(waitFor([&] { return m.samplePlayer().position() > 0; }, testutil::hangLimitMs));
    // Two plays of one sample share a task until the second has ended too.
    m.playSample("demo-de-de", 1);
    m.playSample("demo-de-de", 1);
    EXPECT_EQ(m.taskKeys(), std::vector<std::string>({"playSample|demo-de-de|1"}));
    ASSERT_TRUE(waitFor([&] { return m.taskKeys().empty(); }, testutil::hangLimitMs));
    // A sample on disk plays at once: no flag, no task.
    QSignalSpy voiceFlag(&m, &VoiceSelectorModel::isLoadingServerVoicesChanged);
    m.playSample("demo-de-de", 0);
    EXPECT_EQ(voiceFlag.count(), 0);
    EXPECT_TRUE(m.taskKeys().empty());

    ServerVoice lena = serverVoice(m, "de-de", "Lena");
    ServerVoice jonas = serverVoice(m, "de-de", "Jonas");
    QSignalSpy installed(&m, &VoiceSelectorModel::voiceInstalled);
    QStringList progress;
    QObject::connect(&m, &VoiceSelectorModel::voiceInstallProgressChanged,
                     [&] { progress << m.voiceInstallProgress(); });
    m.installVoice(lena);
    EXPECT_TRUE(m.isInstallingVoice());
    EXPECT_EQ(m.taskKeys(), std::vector<std::string>({"installVoice|demo-de-de|0"}));
    ASSERT_TRUE(waitFor([&] { return installed.count() == 1; }, testutil::hangLimitMs));
    EXPECT_FALSE(m.isInstallingVoice());
    EXPECT_TRUE(m.taskKeys().empty());
    LocalVoice got = installed.at(0).at(0).value<LocalVoice>();
    EXPECT_EQ(got.uid, "demo-de-de");
    EXPECT_EQ(got.name, "Lena");
    EXPECT_EQ(m.voiceDisplay(got), "Lena (Deutsch)");
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_TRUE(progress.last().startsWith("Progress: ")) << progress.last().toStdString();
    EXPECT_TRUE(progress.last().endsWith("<br/>Extracting...")) << progress.last().toStdString();
    EXPECT_EQ(m.voiceInstallProgress(), progress.last());

    // The second speaker of the same model: only its speaker file is written.
    m.installVoice(jonas);
    ASSERT_TRUE(waitFor([&] { return installed.count() == 2; }, testutil::hangLimitMs));
    // Lena was installed a while ago.
    fs::last_write_time(got.dir / "speakers" / "spk-0.json",
                        fs::last_write_time(got.dir / "speakers" / "spk-0.json") - std::chrono::seconds(100));

    QSignalSpy loaded(&m, &VoiceSelectorModel::localVoicesLoaded);
    m.loadLocalVoices();
    ASSERT_TRUE(waitFor([&] { return loaded.count() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(loaded.at(0).at(0).toInt(), 2);
    QAbstractItemModel* locals = m.localVoicesModel();
    // Newest installation first.
    EXPECT_EQ(column(locals, "name"), QStringList({"Jonas", "Lena"}));
    EXPECT_EQ(column(locals, "native_name"), QStringList({"Deutsch", "Deutsch"}));
    EXPECT_EQ(column(locals, "idx"), QStringList({"0", "1"}));
    m.resortLocalVoices(VoiceSelectorModel::SexDesc);
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(locals, "name"), QStringList({"Lena", "Jonas"}));
    // A sample asked for from the installed tab shows loading in its own row.
    removeAll(voiceSamplePath("demo-de-de", 1));
    m.playSample("demo-de-de", 1);
    EXPECT_EQ(column(locals, "sampleLoading"), QStringList({"false", "true"}));
    ASSERT_TRUE(waitFor([&] { return m.loadingSample().empty(); }, testutil::hangLimitMs));
    EXPECT_EQ(column(locals, "sampleLoading"), QStringList({"false", "false"}));

    // Asked about row 0 (Lena); the rows move before the answer: Lena goes.
    m.removeVoice(0);
    ASSERT_EQ(boxes.spy.count(), 1);
    // No catalogue is loaded here: the message id shows.
    EXPECT_EQ(boxes.text(0), "IDS_CONFIRM_REMOVE_VOICE?");
    EXPECT_EQ(boxes.at(0).value("buttonNames").toStringList(), QStringList({"Yes", "No"}));
    EXPECT_EQ(boxes.at(0).value("icon").toInt(), int(MessageBoxContext::Question));
    m.resortLocalVoices(VoiceSelectorModel::SexAsc);
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(locals, "name"), QStringList({"Jonas", "Lena"}));
    boxes.press(0, 0);
    // Removed on the worker, with the list busy meanwhile.
    EXPECT_TRUE(m.isLoadingLocalVoices());
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(locals, "name"), QStringList({"Jonas"}));
    LocalVoice v;
    EXPECT_FALSE(findInstalledVoice("demo-de-de", 0, v));
    EXPECT_TRUE(findInstalledVoice("demo-de-de", 1, v));
    // No does nothing; an index beyond the list does nothing after Yes.
    m.removeVoice(0);
    boxes.press(1, 1);
    m.removeVoice(3);
    boxes.press(2, 0);
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(column(locals, "name"), QStringList({"Jonas"}));
    // A speaker file that cannot be deleted: the system's text, and the row stays.
    fs::path jonasFile = v.dir / "speakers" / "spk-1.json";
    std::string jonasJson = voicetest::readBytes(jonasFile);
    fs::remove(jonasFile);
    voicetest::writeBytes(jonasFile / "blocker", "x");
    m.removeVoice(0);
    boxes.press(3, 0);
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    ASSERT_EQ(boxes.spy.count(), 5);
    EXPECT_EQ(boxes.text(4), QString::fromLocal8Bit(std::strerror(ENOTEMPTY)));
    EXPECT_EQ(locals->rowCount(), 1);
    fs::remove_all(jonasFile);
    voicetest::writeBytes(jonasFile, jonasJson);
    m.removeVoice(0);
    boxes.press(5, 0);
    ASSERT_TRUE(waitFor([&] { return idle(m); }, testutil::hangLimitMs));
    EXPECT_EQ(locals->rowCount(), 0);
    EXPECT_FALSE(fs::exists(voicesDir() / "demo-de-de"));

    // A failed install shows its error text; a failed sample the network text.
    ServerVoice missing = lena;
    missing.uid = "no-such-voice";
    m.installVoice(missing);
    m.playSample("no-such-voice", 0);
    ASSERT_TRUE(waitFor([&] { return idle(m) && boxes.spy.count() == 8; }, testutil::hangLimitMs));
    EXPECT_TRUE(boxes.text(6).startsWith("CURL: ")) << boxes.text(6).toStdString();
    EXPECT_EQ(boxes.at(6).value("icon").toInt(), int(MessageBoxContext::Error));
    EXPECT_EQ(boxes.at(6).value("title").toString(), "");
    EXPECT_TRUE(boxes.text(7).startsWith("Network connection error!<br/>CURL: "));
    EXPECT_TRUE(m.taskKeys().empty());
}

TEST_F(VoiceSelector, LeavingAndClosingAgainstAStalledServer)
{
    // Reads each request and then sends nothing more for five minutes: lists
    // get no answer at all, samples and packages the start of a large body. A
    // close that waited for the server would take that long; one that does
    // not takes a fraction of a second, so the hang limit tells them apart
    // however busy the machine is.
    std::atomic<int> requests{0};
    testutil::RawServer stalled([&](int s, const std::string& request) {
        ++requests;
        if (request.rfind("GET /voice_", 0) == 0)
            testutil::RawServer::send(s, "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + std::string(1000, 'x'));
        testutil::RawServer::waitForClose(s, 300000);
    });
    const double notWaitingForTheServer = testutil::hangLimitMs / 1000.0;
    ::setenv(voiceServerEnvVar, stalled.base().c_str(), 1);
    auto waitRequests = [&](int n) { return waitFor([&] { return requests == n; }, testutil::hangLimitMs); };
    auto seconds = [](std::chrono::steady_clock::time_point since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    };
    auto closeTime = [&](VoiceSelectorModel& m) {
        QSignalSpy closed(&m, &VoiceSelectorModel::toClose);
        auto start = std::chrono::steady_clock::now();
        m.close();
        EXPECT_TRUE(waitFor([&] { return closed.count() == 1; }, testutil::hangLimitMs));
        double took = seconds(start);
        EXPECT_TRUE(idle(m) && m.taskKeys().empty() && m.loadingSample().empty());
        return took;
    };
    // No download leaves anything behind, in the store or among the samples.
    auto leftovers = [] {
        std::set<std::string> out = voicetest::snapshot(voicesDir());
        for (const std::string& e : voicetest::snapshot(voiceSamplePath("x", 0).parent_path())) {
            if (e.rfind("quorvine_voice_", 0) == 0)
                out.insert(e);
        }
        out.erase(".tmp/");
        return out;
    };
    const std::set<std::string> before = leftovers();
    Boxes boxes;

    // Leaving while the language and voice lists get no answer.
    {
        VoiceSelectorModel m;
        m.loadServerLangs();
        m.setCurLang("de-de");
        m.reloadServerVoices();
        ASSERT_TRUE(waitRequests(1));
        EXPECT_EQ(m.taskKeys(), std::vector<std::string>({"loadServerLangs", "reloadServerVoices"}));
        EXPECT_LT(closeTime(m), notWaitingForTheServer);
        EXPECT_TRUE(m.loadServerLangsError().isEmpty());
        EXPECT_TRUE(m.loadServerVoicesError().isEmpty());
    }
    // A picker destroyed without close() does not wait for the server either.
    {
        auto m = std::make_unique<VoiceSelectorModel>();
        m->loadServerLangs();
        ASSERT_TRUE(waitRequests(2));
        auto start = std::chrono::steady_clock::now();
        m.reset();
        EXPECT_LT(seconds(start), notWaitingForTheServer);
    }

    // A stalled sample shows at its speaker; another sample cancels it, and a
    // stop cancels that one.
    {
        VoiceSelectorModel m;
        m.playSample("demo-de-de", 0);
        EXPECT_EQ(m.loadingSample(), "demo-de-de|0");
        ASSERT_TRUE(waitRequests(3));
        m.playSample("demo-de-de", 1);
        EXPECT_EQ(m.loadingSample(), "demo-de-de|1");
        // The server takes the next request only once the first is dropped.
        ASSERT_TRUE(waitRequests(4));
        ASSERT_TRUE(waitFor([&] { return m.taskKeys().size() == 1; }, testutil::hangLimitMs));
        EXPECT_EQ(m.taskKeys(), std::vector<std::string>({"playSample|demo-de-de|1"}));
        m.stopSample();
        EXPECT_EQ(m.loadingSample(), "");
        ASSERT_TRUE(waitFor([&] { return m.taskKeys().empty(); }, testutil::hangLimitMs));
        m.playSample("demo-de-de", 2);
        ASSERT_TRUE(waitRequests(5));
        EXPECT_LT(closeTime(m), notWaitingForTheServer);
    }

    // A stalled install: Cancel, then leaving while it stalls again.
    ServerVoice voice;
    voice.uid = "demo-de-de";
    voice.name = "Lena";
    {
        VoiceSelectorModel m;
        m.installVoice(voice);
        ASSERT_TRUE(waitFor([&] { return !m.voiceInstallProgress().isEmpty(); }, testutil::hangLimitMs));
        EXPECT_TRUE(m.isInstallingVoice());
        m.cancelInstall();
        ASSERT_TRUE(waitFor([&] { return !m.isInstallingVoice(); }, testutil::hangLimitMs));
        EXPECT_TRUE(m.taskKeys().empty());

        int sent = requests;
        m.installVoice(voice);
        m.playSample("demo-de-de", 1);
        ASSERT_TRUE(waitRequests(sent + 1));
        EXPECT_EQ(m.taskKeys(), std::vector<std::string>({"installVoice|demo-de-de|0", "playSample|demo-de-de|1"}));
        EXPECT_LT(closeTime(m), notWaitingForTheServer);
        // The queued sample never asked the server.
        EXPECT_EQ(requests, sent + 1);
    }
    // Nobody was told anything, and nothing stays behind.
    EXPECT_EQ(boxes.spy.count(), 0);
    EXPECT_EQ(leftovers(), before);
    ::unsetenv(voiceServerEnvVar);
}

TEST(VoiceSort, ComparatorsAreStrictWeakOrdersWithTheGivenKeys)
{
    using S = VoiceSelectorModel;
    auto server = [](int id, const char* name, int sex, int quality) {
        ServerVoice v;
        v.id = id;
        v.name = name;
        v.sex = sex;
        v.quality = quality;
        return v;
    };
    auto local = [](const char* name, const char* native, int sex, int quality, int64_t installed) {
        LocalVoice v;
        v.name = name;
        v.native = native;
        v.sex = sex;
        v.quality = quality;
        v.installed = installed;
        return v;
    };
    struct Case
    {
        S::Sort sort;
        ServerVoice a, b;
        bool aFirst;
    };
    // Bytes compare unsigned ("É" after "Z"); a proper prefix comes first.
    std::vector<Case> cases = {
        {S::NameAsc, server(2, "Ann", 1, 1), server(1, "Anna", 1, 1), true},
        {S::NameAsc, server(1, "Zoe", 1, 1), server(2, "Émile", 1, 1), true},
        {S::NameDesc, server(1, "Zoe", 1, 1), server(2, "Émile", 1, 1), false},
        {S::NameDesc, server(2, "Ann", 1, 1), server(1, "Ann", 1, 1), false},
        {S::SexAsc, server(1, "a", 2, 1), server(2, "b", 1, 1), false},
        {S::SexDesc, server(1, "a", 2, 1), server(2, "b", 1, 1), true},
        {S::QualityAsc, server(5, "a", 1, -1), server(2, "b", 1, 3), true},
        {S::QualityDesc, server(5, "a", 1, 3), server(2, "b", 1, 3), false},
        {S::IdDesc, server(1, "z", 1, 1), server(2, "a", 1, 1), true},
        {S::LangDesc, server(1, "z", 1, 1), server(2, "a", 1, 1), true},
        {S::Sort(0), server(3, "a", 1, 1), server(2, "z", 1, 1), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compareServerVoices(c.a, c.b, c.sort), c.aFirst) << c.sort << " " << c.a.name << " " << c.b.name;
        EXPECT_EQ(compareServerVoices(c.b, c.a, c.sort), !c.aFirst) << c.sort;
    }
    // Local voices: the same name sorts newer first both ways; language by native name.
    LocalVoice older = local("Eva", "Deutsch", 2, 2, 100), newer = local("Eva", "Deutsch", 2, 2, 200);
    for (S::Sort s : {S::NameAsc, S::NameDesc, S::IdAsc, S::IdDesc, S::SexDesc, S::LangAsc})
        EXPECT_TRUE(compareLocalVoices(newer, older, s)) << s;
    EXPECT_TRUE(compareLocalVoices(local("b", "Deutsch", 1, 1, 1), local("a", "English", 1, 1, 9), S::LangAsc));
    EXPECT_FALSE(compareLocalVoices(local("b", "Deutsch", 1, 1, 1), local("a", "English", 1, 1, 9), S::LangDesc));

    // Many equal keys: irreflexive, asymmetric, transitive, and incomparability
    // transitive, for every order; then a sort of many elements holds.
    std::mt19937 rng(7);
    std::vector<ServerVoice> sv;
    std::vector<LocalVoice> lv;
    const char* names[] = {"A", "B", "Ä", "", "AB"};
    for (int i = 0; i < 40; ++i) {
        sv.push_back(server(int(rng() % 6), names[rng() % 5], int(rng() % 3), int(rng() % 3)));
        lv.push_back(local(names[rng() % 5], names[rng() % 5], int(rng() % 3), int(rng() % 3), int64_t(rng() % 4)));
    }
    auto checkOrder = [](const auto& items, auto less) {
        for (const auto& a : items) {
            EXPECT_FALSE(less(a, a));
            for (const auto& b : items) {
                EXPECT_FALSE(less(a, b) && less(b, a));
                for (const auto& c : items) {
                    if (less(a, b) && less(b, c)) {
                        EXPECT_TRUE(less(a, c));
                    }
                    bool ab = !less(a, b) && !less(b, a), bc = !less(b, c) && !less(c, b);
                    if (ab && bc) {
                        EXPECT_TRUE(!less(a, c) && !less(c, a));
                    }
                }
            }
        }
    };
    for (int s = 0; s <= 11; ++s) {
        S::Sort sort = S::Sort(s);
        auto sl = [sort](const ServerVoice& a, const ServerVoice& b) { return compareServerVoices(a, b, sort); };
        auto ll = [sort](const LocalVoice& a, const LocalVoice& b) { return compareLocalVoices(a, b, sort); };
        checkOrder(sv, sl);
        checkOrder(lv, ll);
        std::vector<ServerVoice> many;
        for (int i = 0; i < 5000; ++i)
            many.push_back(sv[rng() % sv.size()]);
        std::sort(many.begin(), many.end(), sl);
        EXPECT_TRUE(std::is_sorted(many.begin(), many.end(), sl)) << s;
    }
}
