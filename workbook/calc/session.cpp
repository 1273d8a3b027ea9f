#include "common/hex.h"
#include "workbook/calc/uno_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "workbook/calc/leftovers.h"

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>

extern char** environ;

namespace tivaro::workbook::calc {

namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;

// soffice.bin asks to be started again (after it set up a new profile) with this exit code.
constexpr int kRestartExitCode = 81;
constexpr int kMaxRestarts = 3;
constexpr auto kPollInterval = std::chrono::milliseconds(25);
constexpr auto kQuitGrace = std::chrono::seconds(10);
// Leftovers younger than this may belong to a soffice starting right now.
constexpr auto kLeftoverAge = std::chrono::seconds(120);

// The UNO runtime of this process. It is made once and never torn down: bridge threads may
// still run while static objects are destroyed at exit.
Result<Reference<css::uno::XComponentContext>> LocalContext(
    const std::filesystem::path& programDirectory) {
    static std::once_flag once;
    static Reference<css::uno::XComponentContext>* context = nullptr;
    static std::string failure;
    std::call_once(once, [&] {
        // The UNO runtime finds its own files through this variable; without it the first
        // call crashes. A value set by the user wins.
        const std::string bootstrap =
            "vnd.sun.star.pathname:" + (programDirectory / "fundamentalrc").string();
        setenv("URE_BOOTSTRAP", bootstrap.c_str(), 0);
        try {
            context = new Reference<css::uno::XComponentContext>(
                cppu::defaultBootstrap_InitialComponentContext());
        } catch (const css::uno::Exception& e) {
            failure = Detail(e);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (context == nullptr || !context->is()) {
        return MakeError(Errc::Failed,
                         "Tivaro kan niet met LibreOffice Calc praten: de UNO-bibliotheken van "
                         "LibreOffice starten niet. Installeer libreoffice-calc opnieuw. "
                         "Detail: " +
                             failure);
    }
    return *context;
}

// The exit status of `pid` once it ended (128 + signal when a signal ended it).
std::optional<int> ExitStatusIfEnded(pid_t pid) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended < 0 && errno == ECHILD) {
        return 128;  // reaped elsewhere already: it ended, how is unknown
    }
    if (ended != pid) {
        return std::nullopt;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Starts `program` with `args`, its output to /dev/null and none of this process's files
// open. `dieWithParent`: the kernel kills it when the thread that starts it ends, so a
// crashed test or replay leaves no soffice behind. Otherwise it runs in a session of its own
// and outlives this program (Calc stays open for the organisers). `tempDirectory`, when set,
// takes soffice's temporary files.
Result<pid_t> Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
                    bool dieWithParent, const std::filesystem::path& tempDirectory = {}) {
    std::vector<std::string> argStrings;
    argStrings.push_back(program.string());
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // What LibreOffice's own start script sets: document locking on.
    std::vector<std::string> envStrings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        if (variable.starts_with("SAL_ENABLE_FILE_LOCKING=") ||
            (!tempDirectory.empty() && variable.starts_with("TMPDIR="))) {
            continue;
        }
        envStrings.emplace_back(variable);
    }
    envStrings.emplace_back("SAL_ENABLE_FILE_LOCKING=1");
    if (!tempDirectory.empty()) {
        envStrings.emplace_back("TMPDIR=" + tempDirectory.string());
    }
    std::vector<char*> envp;
    for (std::string& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        return MakeError(Errc::Failed,
                         "LibreOffice Calc kan niet worden gestart: er kan geen "
                         "proces bij. Sluit andere programma's en probeer het "
                         "opnieuw.");
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        if (dieWithParent) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) {
                _exit(127);
            }
        } else {
            setsid();
        }
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        close_range(3, ~0U, 0);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Whether process `pid` holds the listening socket of the pipe. The soffice started for a pipe
// may instead have handed it to a Calc that already runs with the same profile, and be ending.
bool ListensOnPipe(pid_t pid, const std::string& pipeName) {
    const std::string socketName = "/OSL_PIPE_" + std::to_string(getuid()) + "_" + pipeName;
    std::set<std::string> sockets;
    std::ifstream table("/proc/net/unix");
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string number, references, protocol, flags, type, state, inode, path;
        if (fields >> number >> references >> protocol >> flags >> type >> state >> inode >> path &&
            path.ends_with(socketName)) {
            sockets.insert("socket:[" + inode + "]");
        }
    }
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code linkError;
        const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), linkError);
        if (!linkError && sockets.contains(target.string())) {
            return true;
        }
    }
    return false;
}

std::string DefaultPipeName() {
    return "tivaro-calc-" + std::to_string(getuid());
}

// The user's LibreOffice profile exists (LibreOffice has run for this user before).
bool DefaultProfileExists() {
    std::error_code ignored;
    return std::filesystem::exists(DefaultProfile() / "user", ignored);
}

}  // namespace

std::string ToUtf8(const rtl::OUString& text) {
    const rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

rtl::OUString FromUtf8(std::string_view text) {
    return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

std::string FileUrl(const std::filesystem::path& absolute) {
    std::string url = "file://";
    for (const char ch : absolute.string()) {
        const auto byte = static_cast<unsigned char>(ch);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            url.push_back(ch);
        } else {
            url.push_back('%');
            AppendHexByte(byte, url);
        }
    }
    return url;
}

std::optional<std::filesystem::path> PathOfFileUrl(std::string_view url) {
    constexpr std::string_view kScheme = "file://";
    if (url.size() < kScheme.size() || url.substr(0, kScheme.size()) != kScheme) {
        return std::nullopt;
    }
    url.remove_prefix(kScheme.size());
    if (url.starts_with("localhost/")) {
        url.remove_prefix(std::string_view("localhost").size());
    }
    if (!url.starts_with("/")) {
        return std::nullopt;  // a file on another host
    }
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            const int high = HexDigitValue(url[i + 1]);
            const int low = HexDigitValue(url[i + 2]);
            if (high >= 0 && low >= 0) {
                path.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        path.push_back(url[i]);
    }
    return std::filesystem::path(path);
}

std::string Detail(const css::uno::Exception& exception) {
    std::string text = ToUtf8(exception.Message);
    return text.empty() ? "(geen nadere uitleg van LibreOffice)" : text;
}

Session::Session(CalcOptions options, std::string pipeName)
    : options_(std::move(options)), pipeName_(std::move(pipeName)) {}

Result<std::shared_ptr<Session>> Session::Join(const CalcOptions& options) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<Session>> sessions;
    const std::string pipe = options.pipeName.empty() ? DefaultPipeName() : options.pipeName;

    std::lock_guard lock(mutex);
    if (std::shared_ptr<Session> live = sessions[pipe].lock(); live && !live->gone()) {
        return live;
    }
    auto session = std::shared_ptr<Session>(new Session(options, pipe));
    session->options_.pipeName = pipe;
    if (Status connected = session->connect(); !connected) {
        return connected.error();
    }
    sessions[pipe] = session;
    return session;
}

bool Session::answers() {
    constexpr int kTries = 3;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        try {
            desktop_->getComponents();
            return true;
        } catch (const css::lang::DisposedException&) {
            return false;
        } catch (...) {
            if (attempt < kTries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    return false;
}

bool Session::tryConnect() {
    auto local = LocalContext(options_.programDirectory);
    if (!local) {
        lastConnectError_ = local.error().message;
        return false;
    }
    try {
        Reference<css::bridge::XUnoUrlResolver> resolver =
            css::bridge::UnoUrlResolver::create(*local);
        const Reference<css::uno::XInterface> remote = resolver->resolve(
            FromUtf8("uno:pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext"));
        Reference<css::uno::XComponentContext> context(remote, UNO_QUERY_THROW);
        desktop_ = css::frame::Desktop::create(context);
        return true;
    } catch (const css::connection::NoConnectException&) {
        lastConnectError_.clear();
    } catch (const css::uno::Exception& e) {
        // For instance a soffice that accepted and then restarts with its new profile.
        lastConnectError_ = Detail(e);
    }
    desktop_.clear();
    return false;
}

std::filesystem::path Session::tempDirectory() const {
    // soffice leaves a folder in the temporary folder behind; with a private profile it goes
    // into the profile and so goes with it.
    return removeProfile_ ? profile_ / "tmp" : std::filesystem::path();
}

Status Session::prepareProfile() {
    if (options_.privateProfile) {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::string pattern =
            ((error ? std::filesystem::path("/tmp") : base) / "tivaro-calc-profile-XXXXXX")
                .string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return MakeError(Errc::Io,
                             "LibreOffice Calc kan niet worden gestart: er kan geen "
                             "map voor zijn profiel worden gemaakt. Maak ruimte vrij "
                             "in de tijdelijke map. Map: \"" +
                                 pattern + "\"");
        }
        profile_ = pattern;
        removeProfile_ = true;
        std::filesystem::create_directory(tempDirectory(), error);
    } else {
        profile_ = options_.profileDirectory;
    }
    std::error_code error;
    if (profile_.empty() ? DefaultProfileExists()
                         : std::filesystem::exists(profile_ / "user", error)) {
        return {};
    }
    std::vector<std::string> args = {"--headless", "--norestore", "--terminate_after_init"};
    if (!profile_.empty()) {
        args.push_back("-env:UserInstallation=" + FileUrl(profile_));
    }
    // A new profile is set up in a run of its own: soffice asks to be restarted after it made
    // one, which would drop a connection made meanwhile.
    auto pid = Spawn(options_.programDirectory / "soffice.bin", args, true, tempDirectory());
    if (!pid) {
        return pid.error();
    }
    const auto deadline = Clock::now() + options_.startTimeout;
    while (Clock::now() < deadline) {
        if (ExitStatusIfEnded(*pid)) {
            return {};
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    kill(*pid, SIGKILL);
    waitpid(*pid, nullptr, 0);
    return MakeError(Errc::Failed,
                     "LibreOffice Calc start niet: het maken van een nieuw profiel duurde langer "
                     "dan " +
                         std::to_string(options_.startTimeout.count() / 1000) +
                         " s. Probeer het opnieuw.");
}

Status Session::startOffice() {
    if (!options_.headless && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        return MakeError(Errc::Failed,
                         "LibreOffice Calc kan zijn venster niet tonen: er is geen "
                         "beeldscherm (DISPLAY is niet gezet). Start Tivaro in de "
                         "grafische omgeving.");
    }
    // What a soffice killed earlier left in the temporary folder goes first.
    std::error_code noTemp;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(noTemp);
    if (!noTemp) {
        ClearLeftovers(temp, RunningOffices(), kLeftoverAge);
    }
    if (Status prepared = prepareProfile(); !prepared) {
        return prepared;
    }
    std::vector<std::string> args = {"--nologo", "--nodefault", "--norestore"};
    if (options_.headless) {
        args.push_back("--headless");
        args.push_back("--invisible");
    }
    if (!profile_.empty()) {
        args.push_back("-env:UserInstallation=" + FileUrl(profile_));
    }
    args.push_back("--accept=pipe,name=" + pipeName_ + ";urp;");

    const auto deadline = Clock::now() + options_.startTimeout;
    int restarts = 0;
    auto spawned = Spawn(options_.programDirectory / "soffice.bin", args, options_.quitWhenDone,
                         tempDirectory());
    if (!spawned) {
        return spawned.error();
    }
    process_ = *spawned;
    while (Clock::now() < deadline) {
        if (tryConnect()) {
            if (process_ > 0 && !ListensOnPipe(process_, pipeName_)) {
                // A Calc that runs with the same profile took the pipe over; the soffice
                // started here ends, and the Calc joined is not this session's to quit.
                const auto handedOver = Clock::now() + kQuitGrace;
                while (!ExitStatusIfEnded(process_) && Clock::now() < handedOver) {
                    std::this_thread::sleep_for(kPollInterval);
                }
                process_ = -1;
            }
            return {};
        }
        if (process_ > 0) {
            if (const std::optional<int> status = ExitStatusIfEnded(process_)) {
                process_ = -1;
                if (*status == kRestartExitCode && restarts < kMaxRestarts) {
                    ++restarts;
                    spawned = Spawn(options_.programDirectory / "soffice.bin", args,
                                    options_.quitWhenDone, tempDirectory());
                    if (!spawned) {
                        return spawned.error();
                    }
                    process_ = *spawned;
                } else if (*status != 0) {
                    return MakeError(Errc::Failed,
                                     "LibreOffice Calc stopte meteen na het starten (afsluitcode " +
                                         std::to_string(*status) +
                                         "). Start Calc eens met de hand om te zien wat er "
                                         "misgaat, en probeer het dan opnieuw.");
                }
                // Status 0: a Calc that runs with the same profile took the request over and
                // opens the pipe itself.
            }
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    stopOffice();
    std::string message = "LibreOffice Calc start niet: binnen " +
                          std::to_string(options_.startTimeout.count() / 1000) +
                          " s kwam er geen verbinding. Probeer het opnieuw; helpt dat niet, sluit "
                          "dan LibreOffice helemaal af en probeer het nog eens.";
    if (!lastConnectError_.empty()) {
        message += " Uitleg van LibreOffice: " + lastConnectError_ + ".";
    }
    message += " Pijp: \"" + pipeName_ + "\"";
    return MakeError(Errc::Failed, message);
}

Status Session::connect() {
    // A Calc that already accepts the pipe (started earlier for this user) is joined.
    if (tryConnect()) {
        return {};
    }
    return startOffice();
}

std::filesystem::path Session::profile() const {
    if (!profile_.empty()) {
        return profile_;
    }
    return options_.profileDirectory.empty() ? DefaultProfile() : options_.profileDirectory;
}

std::optional<pid_t> Session::processId() {
    if (process_ > 0 && ExitStatusIfEnded(process_)) {
        process_ = -1;
    }
    if (process_ <= 0) {
        return std::nullopt;
    }
    return process_;
}

void Session::stopOffice() {
    if (process_ > 0) {
        if (!gone_ && desktop_.is()) {
            try {
                desktop_->terminate();
            } catch (...) {
                // Calc is going away or gone: the process is checked below either way.
            }
        }
        const auto deadline = Clock::now() + kQuitGrace;
        while (!ExitStatusIfEnded(process_)) {
            if (Clock::now() >= deadline) {
                kill(process_, SIGKILL);
                waitpid(process_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        process_ = -1;
    }
    if (removeProfile_) {
        std::error_code ignored;
        std::filesystem::remove_all(profile_, ignored);
        removeProfile_ = false;
    }
}

Session::~Session() {
    if (options_.quitWhenDone || processId() == std::nullopt) {
        // Quits the soffice started here, or only removes a private profile nobody uses.
        stopOffice();
    }
    desktop_.clear();
}

std::shared_ptr<OpenDocument> Session::heldDocument(const std::filesystem::path& file) {
    std::lock_guard lock(documentsMutex_);
    const auto found = documents_.find(file);
    return found == documents_.end() ? nullptr : found->second.lock();
}

void Session::holdDocument(const std::filesystem::path& file,
                           const std::shared_ptr<OpenDocument>& doc) {
    std::lock_guard lock(documentsMutex_);
    documents_[file] = doc;
}

OpenDocument::OpenDocument(std::shared_ptr<Session> session,
                           css::uno::Reference<css::frame::XModel> model, bool loadedByEngine)
    : session_(std::move(session)), model_(std::move(model)), loadedByEngine_(loadedByEngine) {}

OpenDocument::~OpenDocument() {
    if (loadedByEngine_ && session_->options().closeDocuments && !session_->gone()) {
        try {
            Reference<css::util::XCloseable> closeable(model_, UNO_QUERY);
            if (closeable.is()) {
                closeable->close(true);
            }
        } catch (...) {
            // Closed already, or Calc is gone: nothing is left to close.
        }
    }
    model_.clear();
}

}  // namespace tivaro::workbook::calc
