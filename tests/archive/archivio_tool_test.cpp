// clivara-archivio as a supporter runs it: what `check` reports on the fixtures, and that
// `copy` and `dump` agree with each other. (Dumps against xlrd, bad inputs and the shipped
// archive are in tests/crosscheck.)

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ArchivioTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("archivio_tool_test." + std::to_string(::getpid()) + "." +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static fs::path fixture(const std::string& name) { return fs::path(CLIVARA_FIXTURES) / name; }

    ToolRun run(const std::vector<std::string>& args) const {
        std::string command = std::string("'") + CLIVARA_TOOL + "'";
        for (const std::string& arg : args) command += " '" + arg + "'";
        const fs::path errFile = dir_ / "stderr.txt";
        command += " 2>'" + errFile.string() + "'";
        ToolRun result;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return result;
        char buffer[4096];
        std::size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            result.out.append(buffer, count);
        }
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = readFile(errFile);
        return result;
    }

    fs::path dir_;
};

TEST_F(ArchivioTool, CheckSummarisesSoundArchives) {
    struct Case {
        const char* fixture;
        const char* customers;
        const char* counter;
    };
    const Case cases[] = {
        {"lo-clienti.xls", "Clienti: 12 (righe 2-13)\n", "Contatore (\"Codici\" A2): 12\n"},
        {"gnumeric-dual.xls", "Clienti: 12 (righe 2-13)\n", "Contatore (\"Codici\" A2): 12\n"},
        {"gnumeric-many.xls", "Clienti: 250 (righe 2-251)\n", "Contatore (\"Codici\" A2): 250\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const ToolRun result = run({"check", fixture(c.fixture).string()});
        // The fixtures' made-up codici fiscali and partite IVA fail their check characters;
        // those are the only findings, and they make the exit code 1.
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_NE(result.out.find("Fogli: \"Clienti\", \"Codici\"\n"), std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find(c.customers), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(c.counter), std::string::npos) << result.out;
        const std::string heading = "Problemi trovati:\n";
        const std::size_t list = result.out.find(heading);
        ASSERT_NE(list, std::string::npos) << result.out;
        std::istringstream findings(result.out.substr(list + heading.size()));
        for (std::string line; std::getline(findings, line);) {
            EXPECT_TRUE(line.find(": Codice Fiscale «") != std::string::npos ||
                        line.find(": Partita IVA «") != std::string::npos)
                << line;
        }
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(ArchivioTool, CheckNamesEveryProblemAndExitsWithOne) {
    struct Case {
        const char* fixture;
        std::vector<std::string> phrases;
    };
    const std::vector<Case> cases = {
        // Rows 8-9 empty in column A (row 8 holds other data), customers 10-11 share ID 41.
        {"lo-unicode.xls",
         {"Fogli: \"CLIENTI\", \"codici\", \"Appunti\"", "Clienti: 8 (righe 2-11)",
          "Colonna A vuota alle righe 8-9: l'elenco del programma si ferma alla riga 7 e non "
          "mostra 2 clienti più sotto.",
          "Dati senza Ragione Sociale (colonna A vuota) alla riga 8.",
          "L'ID 41 è usato da più clienti: righe 10-11."}},
        {"xlwt-clienti.xls",
         {"Contatore (\"CODICI\" A2): 12",
          "Colonna A vuota alla riga 14:", "L'ID 12 è usato da più clienti: righe 13, 15."}},
        {"lo-no-codici.xls", {"Clienti: 3 (righe 2-4)", "Manca il foglio \"Codici\""}},
        {"gnumeric-text-counter.xls",
         {"Clienti: 0\n", "Il contatore in \"Codici\" A2 non è un numero: \"dodici\"."}},
        {"lo-values.xls", {"Il contatore in \"Codici\" A2 non è un numero intero: 3,5."}},
        {"gnumeric-formulas.xls",
         {"Il contatore in \"Codici\" A2 (6) è minore dell'ID più alto in \"Clienti\" (21, "
          "riga 2)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const ToolRun result = run({"check", fixture(c.fixture).string()});
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_NE(result.out.find("Problemi trovati:\n"), std::string::npos) << result.out;
        for (const std::string& phrase : c.phrases) {
            EXPECT_NE(result.out.find(phrase), std::string::npos) << "missing: " << phrase << "\n"
                                                                  << result.out;
        }
    }
}

TEST_F(ArchivioTool, DumpOfAnArchiveWithoutCodiciHasAnEmptyCounter) {
    const ToolRun result = run({"dump", fixture("lo-no-codici.xls").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("{\"sheets\": [\"Clienti\", \"Foglio2\"], \"clienti\": [", 0), 0u)
        << result.out;
    EXPECT_NE(result.out.find("], \"counter\": \"\"}\n"), std::string::npos) << result.out;
}

// A copy reads back with the same dump and the same report, whatever the fixture's writer.
TEST_F(ArchivioTool, CopyKeepsWhatCheckAndDumpSee) {
    for (const char* name : {"lo-unicode.xls", "xlwt-clienti.xls", "gnumeric-formulas.xls",
                             "lo-dates1904.xls", "gnumeric-dual.xls"}) {
        SCOPED_TRACE(name);
        const fs::path copy = dir_ / name;
        const ToolRun copied = run({"copy", fixture(name).string(), copy.string()});
        ASSERT_EQ(copied.status, 0) << copied.err;

        EXPECT_EQ(run({"dump", copy.string()}).out, run({"dump", fixture(name).string()}).out);
        const ToolRun before = run({"check", fixture(name).string()});
        const ToolRun after = run({"check", copy.string()});
        EXPECT_EQ(after.status, before.status);
        // Everything after the first line (which names the file) is the same.
        EXPECT_EQ(after.out.substr(after.out.find('\n')), before.out.substr(before.out.find('\n')));
    }
}

// cerca prints the window's matches, one tab-separated line each in sheet order.
TEST_F(ArchivioTool, CercaPrintsRowIdAndNameOfEachMatch) {
    const std::string unicode = fixture("lo-unicode.xls").string();
    ToolRun result = run({"cerca", unicode, "ΑΘΗΝΑ"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "3\t2\tΩμέγα Ελληνικά Αθήνα\n7\t6\tHotel Belvedere\n");
    result = run({"cerca", unicode, "41", "cliente"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "11\t41\tUltimo Cliente\n");
    result = run({"cerca", fixture("lo-clienti.xls").string(), "+39", "06-4455667"});
    EXPECT_EQ(result.out, "2\t1\tBianchi Arredamenti S.r.l.\n");

    result = run({"cerca", unicode, "nessuno così"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    result = run({"cerca", fixture("bad-random.xls").string(), "rossi"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("bad-random.xls"), std::string::npos) << result.err;
}

}  // namespace
