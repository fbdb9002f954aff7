// The settings pages' values over real registry hives: defaults, checks and what is written.

#include "EnsureDirectory.h"
#include "IISRegistryManager.h"
#include "Settings.h"
#include "SettingsModel.h"
#include "SetupTestSupport.h"

#include <sys/stat.h>

using prompt::CScriptedPrompt;
using prompt::EAnswer;

namespace {

class SettingsModelTest : public SetupTest {
protected:
    static std::string Text(const char* name, const char* key = settings::SettingsKey) {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, key, name, text);
        return text;
    }
    static DWORD Number(const char* name, DWORD absent = 0xFFFFFFFF) {
        DWORD value = absent;
        ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value);
        return value;
    }
    bool Accepts(ESetting setting, const std::string& value) {
        m_model.Value(setting) = value;
        return m_model.Validate(setting, m_script);
    }

    CSettingsModel m_model;
    CScriptedPrompt m_script;
};

} // namespace

TEST_F(SettingsModelTest, DefaultsAndTheThresholdInMiB) {
    m_model.LoadUploadPages();
    EXPECT_EQ(m_model.Value(ESetting::FreeSpaceThreshold), "5");
    EXPECT_EQ(m_model.Value(ESetting::AllowUploads), "0");
    EXPECT_FALSE(m_model.HttpUploadsAllowed());

    WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::FreeSpaceThreshold,
                        10u * 1048576u);
    WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::AllowUploads, 3);
    // A program path stored as REG_EXPAND_SZ is not text here.
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, settings::SettingsKey), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(settings::VirusChecker, "/usr/bin/clamscan", REG_EXPAND_SZ),
              ERROR_SUCCESS);
    m_model.LoadUploadPages();
    EXPECT_EQ(m_model.Value(ESetting::FreeSpaceThreshold), "10");
    EXPECT_TRUE(m_model.HttpUploadsAllowed());
    EXPECT_EQ(m_model.Value(ESetting::VirusChecker), "");

    EXPECT_TRUE(Accepts(ESetting::FreeSpaceThreshold, "4095"));
    m_model.SavePage(ESettingsPage::HttpUploads);
    EXPECT_EQ(Number(settings::FreeSpaceThreshold), 4095u * 1048576u);
    EXPECT_EQ(Number(settings::Overwrite), 0u);
    for (const char* refused : {"4096", "-1", "", "5MB"}) {
        m_script.Expect("Please enter an integer between 0 and 4095.", "Dorvale Setup");
        EXPECT_FALSE(Accepts(ESetting::FreeSpaceThreshold, refused)) << refused;
    }
    m_script.Expect("Please enter an integer between 0 and 2.", "Dorvale Setup");
    EXPECT_FALSE(Accepts(ESetting::Overwrite, "3"));
    EXPECT_SCRIPT_DONE(m_script);

    // The General page proposes the web site's own directory, the current and the system's
    // temporary directory.
    CIISRegistryManager web(WEB_SERVICE_NAME);
    ASSERT_TRUE(web.AddRoot("/dorvale", "/srv/site", 1));
    m_model.LoadGeneral(&web);
    EXPECT_EQ(m_model.Value(ESetting::HttpPath), "/srv/site");
    EXPECT_EQ(m_model.Value(ESetting::DatabasePath), std::filesystem::current_path().string());
    EXPECT_FALSE(m_model.Value(ESetting::TempPath).empty());
}

TEST_F(SettingsModelTest, GeneralPageChecksInOrderAndWritesEverything) {
    m_model.LoadGeneral(nullptr);
    for (const char* bad : {"me here@x.org", "a<b@x.org", "x;y@z", "[a]@b", "a:b@c", "a,b@c"}) {
        m_script.Expect("Illegal characters in e-mail address.", "Dorvale Setup");
        EXPECT_FALSE(Accepts(ESetting::AdminEmail, bad)) << bad;
    }
    m_script.Expect("Invalid e-mail address.", "Dorvale Setup");
    EXPECT_FALSE(Accepts(ESetting::AdminEmail, "nobody"));
    EXPECT_TRUE(Accepts(ESetting::AdminEmail, ""));
    EXPECT_TRUE(Accepts(ESetting::AdminEmail, "files@example.org"));
    EXPECT_TRUE(Accepts(ESetting::AdminEmail, "x@" + std::string(300, 'a')));
    EXPECT_EQ(m_model.Value(ESetting::AdminEmail).size(), EMAIL_LIMIT); // taken over cut

    for (const char* bad : {"www.example.org", "ftp://example.org", "http://", "http:///x",
                            "http://exa mple.org", "http://host:99999", "http://[::1"}) {
        m_script.Expect("Please enter a fully qualified & valid URL.", "Error");
        EXPECT_FALSE(Accepts(ESetting::HttpServer, bad)) << bad;
    }
    for (const char* good : {"http://example.org", " HTTPS://files.example.org/lib/ ",
                             "http://127.0.0.1:8080", "http://[::1]:80/"}) {
        EXPECT_TRUE(Accepts(ESetting::HttpServer, good)) << good;
    }
    EXPECT_EQ(m_model.Value(ESetting::HttpServer), "http://[::1]:80/");
    EXPECT_TRUE(Accepts(ESetting::FtpServer, "  "));
    EXPECT_EQ(m_model.Value(ESetting::FtpServer), "");
    EXPECT_TRUE(Accepts(ESetting::FtpServer, "ftp://user@files.example.org"));
    m_script.Expect("Please enter a fully qualified & valid URL.", "Error");
    EXPECT_FALSE(Accepts(ESetting::FtpServer, "http://files.example.org"));

    // Directories: empty refused; a missing one is created on Yes and refused on No.
    m_script.Expect("Please enter a valid directory path.", "Error");
    EXPECT_FALSE(Accepts(ESetting::HttpPath, " "));
    const std::string missing = m_dir / "site/pages";
    m_script.Expect("The directory \"" + missing +
                        "\" does not exist. Would you like to create it?",
                    "Question", EAnswer::No);
    m_script.Expect("Please enter a valid directory path.", "Error");
    EXPECT_FALSE(Accepts(ESetting::HttpPath, missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
    m_script.Expect("The directory \"" + missing +
                        "\" does not exist. Would you like to create it?",
                    "Question", EAnswer::Yes);
    EXPECT_TRUE(Accepts(ESetting::HttpPath, missing + " "));
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    // A directory that cannot be made: told so, and refused.
    const std::string locked = Dir("locked");
    chmod(locked.c_str(), 0500);
    const std::string inside = locked + "/db";
    if (geteuid() != 0) {
        m_script.Expect("The directory \"" + inside +
                            "\" does not exist. Would you like to create it?",
                        "Question", EAnswer::Yes);
        m_script.Expect("Could not create specified directory.", "Warning");
        m_script.Expect("Please enter a valid directory path.", "Error");
        EXPECT_FALSE(Accepts(ESetting::DatabasePath, inside));
    }
    // A text the registry could not give back whole is refused.
    m_script.Expect("The text is too long: at most 259 bytes fit.", "Dorvale Setup");
    EXPECT_FALSE(Accepts(ESetting::SMTPServer, std::string(260, 's')));
    EXPECT_SCRIPT_DONE(m_script);

    // Leaving the page stops at the first refused field, in the page's order.
    m_model.Value(ESetting::AdminEmail) = "bad address";
    m_model.Value(ESetting::HttpServer) = "nonsense";
    m_script.Expect("Illegal characters in e-mail address.", "Dorvale Setup");
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::General, m_script), ESetting::AdminEmail);
    m_model.Value(ESetting::AdminEmail) = "";
    m_script.Expect("Please enter a fully qualified & valid URL.", "Error");
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::General, m_script), ESetting::HttpServer);
    m_model.Value(ESetting::HttpServer) = "http://lib.example.org";
    m_model.Value(ESetting::FtpServer) = "ftp://lib.example.org";
    m_model.Value(ESetting::DatabasePath) = Dir("db");
    m_model.Value(ESetting::TempPath) = Dir("tmp");
    m_model.Value(ESetting::SMTPServer) = "mail.example.org:2525";
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::General, m_script), std::nullopt);
    EXPECT_SCRIPT_DONE(m_script);
    m_model.SavePage(ESettingsPage::General);
    EXPECT_EQ(Text(settings::HttpServer), "http://lib.example.org");
    EXPECT_EQ(Text(settings::FtpServer), "ftp://lib.example.org");
    EXPECT_EQ(Text(settings::HttpPath), missing);
    EXPECT_EQ(Text(settings::DatabasePath), Dir("db"));
    EXPECT_EQ(Text(settings::TempPath), Dir("tmp"));
    EXPECT_EQ(Text(settings::SMTPServer, settings::SendMailKey), "mail.example.org:2525");
    EXPECT_EQ(Text(settings::SMTPServer), ""); // not in the product's key

    // The database path note: once per run, only for a changed path.
    CSettingsModel fresh;
    fresh.LoadGeneral(nullptr);
    fresh.NoteDatabasePathChange(Dir("db"), m_script);
    m_script.Expect("Changes to the Database Path will not take effect until you close and "
                    "restart Dorvale Setup.",
                    "Information");
    fresh.NoteDatabasePathChange(Dir("db2"), m_script);
    fresh.NoteDatabasePathChange(Dir("db3"), m_script);
    EXPECT_SCRIPT_DONE(m_script);
}

TEST_F(SettingsModelTest, UploadOptionsAndHttpUploadsPages) {
    m_model.LoadUploadPages();
    // Without uploads the virus checker is not looked at.
    m_model.Value(ESetting::VirusExitCode) = "999";
    m_model.Value(ESetting::VirusChecker) = m_dir.Path().string();
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::UploadOptions, m_script), std::nullopt);
    EXPECT_EQ(Number(settings::AllowUploads), 0u); // written on leaving

    m_model.Value(ESetting::AllowUploads) = "2";
    m_script.Expect("Please enter an integer between 0 and 255.", "Dorvale Setup");
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::UploadOptions, m_script),
              ESetting::VirusExitCode);
    EXPECT_EQ(Number(settings::AllowUploads), 0u); // not yet: the exit code stopped it
    m_model.Value(ESetting::VirusExitCode) = "1";
    // A directory is not a program; AllowUploads is written all the same.
    m_script.Expect("Please enter a valid file name and path.", "Error");
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::UploadOptions, m_script), ESetting::VirusChecker);
    EXPECT_EQ(Number(settings::AllowUploads), 2u);
    m_script.Expect("Please enter a valid file name and path.", "Error");
    EXPECT_FALSE(Accepts(ESetting::VirusChecker, m_dir / "no-such-program"));
    testsupport::WriteFile(m_dir / "scan", "#!/bin/sh\n");
    EXPECT_TRUE(Accepts(ESetting::VirusChecker, " " + (m_dir / "scan") + " "));
    m_model.Value(ESetting::VirusCmdLine) = "--quiet %s";
    m_model.Value(ESetting::DIZSDIPrecedence) = "1";
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::UploadOptions, m_script), std::nullopt);
    m_model.SavePage(ESettingsPage::UploadOptions);
    EXPECT_EQ(Text(settings::VirusChecker), m_dir / "scan");
    EXPECT_EQ(Text(settings::VirusCmdLine), "--quiet %s");
    EXPECT_EQ(Number(settings::VirusExitCode), 1u);
    EXPECT_EQ(Number(settings::DIZSDIPrecedence), 1u);
    EXPECT_FALSE(m_model.HttpUploadsAllowed());
    m_model.Value(ESetting::AllowUploads) = "1";
    EXPECT_TRUE(m_model.HttpUploadsAllowed());

    // HTTP Uploads: the threshold first, then the bad file area, which may be empty.
    m_model.Value(ESetting::FreeSpaceThreshold) = "4096";
    m_model.Value(ESetting::BadPath) = m_dir / "bad";
    m_script.Expect("Please enter an integer between 0 and 4095.", "Dorvale Setup");
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::HttpUploads, m_script),
              ESetting::FreeSpaceThreshold);
    m_model.Value(ESetting::FreeSpaceThreshold) = "0";
    m_script.Expect("The directory \"" + (m_dir / "bad") +
                        "\" does not exist. Would you like to create it?",
                    "Question", EAnswer::No);
    m_script.Expect("Please enter a valid directory path.", "Dorvale Setup");
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::HttpUploads, m_script), ESetting::BadPath);
    m_model.Value(ESetting::BadPath) = "";
    m_model.Value(ESetting::Overwrite) = "2";
    EXPECT_EQ(m_model.ValidatePage(ESettingsPage::HttpUploads, m_script), std::nullopt);
    m_model.SavePage(ESettingsPage::HttpUploads);
    EXPECT_EQ(Number(settings::FreeSpaceThreshold), 0u);
    EXPECT_EQ(Number(settings::Overwrite), 2u);
    EXPECT_EQ(Text(settings::BadPath), "");
    EXPECT_SCRIPT_DONE(m_script);

    EXPECT_EQ(FindSetting("freespacethreshold"), ESetting::FreeSpaceThreshold);
    EXPECT_EQ(FindSetting("SMTPServer"), ESetting::SMTPServer);
    EXPECT_EQ(FindSetting("InstallDir"), std::nullopt);
}

TEST_F(SettingsModelTest, EnsureDirectoryThreeWay) {
    const std::string missing = m_dir / "area/files";
    const std::string question =
        "The directory \"" + missing + "\" does not exist. Would you like to create it?";
    m_script.Expect(question, "Warning", EAnswer::Cancel);
    EXPECT_FALSE(EnsureDirectory(missing, EEnsureForm::ThreeWay, m_script));
    m_script.Expect(question, "Warning", EAnswer::No);
    EXPECT_TRUE(EnsureDirectory(missing, EEnsureForm::ThreeWay, m_script));
    EXPECT_FALSE(std::filesystem::exists(missing));
    m_script.Expect(question, "Warning", EAnswer::Yes);
    EXPECT_TRUE(EnsureDirectory(missing, EEnsureForm::ThreeWay, m_script));
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    EXPECT_TRUE(EnsureDirectory(missing, EEnsureForm::Asking, m_script));
    EXPECT_TRUE(EnsureDirectory("", EEnsureForm::Asking, m_script));
    // A file where the directory should be cannot become one.
    testsupport::WriteFile(m_dir / "plain", "x");
    m_script.Expect("The directory \"" + (m_dir / "plain") +
                        "\" does not exist. Would you like to create it?",
                    "Question", EAnswer::Yes);
    m_script.Expect("Could not create specified directory.", "Warning");
    EXPECT_FALSE(EnsureDirectory(m_dir / "plain", EEnsureForm::Asking, m_script));
    EXPECT_SCRIPT_DONE(m_script);
}
