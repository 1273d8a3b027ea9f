#pragma once
// Inside the Calc engine only: the connection to a running soffice and the documents open in
// it. This header holds UNO types; the generated UNO headers are visible to this library's
// own sources alone, so no other part of the program can include it.

#include <sal/config.h>

#include <sys/types.h>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include "common/result.h"
#include "workbook/calc/calc_app.h"

namespace tivaro::workbook::calc {

namespace css = com::sun::star;

std::string ToUtf8(const rtl::OUString& text);
rtl::OUString FromUtf8(std::string_view text);
// "file:///..." for an absolute path, every byte outside the unreserved URL characters
// percent-encoded (LibreOffice reads file URLs as UTF-8).
std::string FileUrl(const std::filesystem::path& absolute);
// The path a local file URL names; nullopt for anything else.
std::optional<std::filesystem::path> PathOfFileUrl(std::string_view url);

class OpenDocument;

// One soffice this process talks to over one pipe. Shared by the app and every workbook made
// through it; a soffice the engine started quits (when the options say so) once the last of
// them is gone.
class Session {
public:
    // The live session on options.pipeName, or a new one: joins a Calc that accepts the pipe,
    // or starts soffice with it.
    static Result<std::shared_ptr<Session>> Join(const CalcOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const CalcOptions& options() const { return options_; }
    const std::string& pipeName() const { return pipeName_; }
    const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return desktop_; }
    // The LibreOffice profile of the soffice this session talks to.
    std::filesystem::path profile() const;
    // The soffice this engine started, while it runs.
    std::optional<pid_t> processId();

    // Whether Calc still answers over the pipe, asked after a call failed: a bridge that was
    // disposed says it does not at once; another failure is asked again, so that a fault of
    // one call (a document closed in Calc meanwhile) is not taken for Calc gone.
    bool answers();
    // Calc went away (killed, crashed, quit): every later call fails at once.
    void markGone() { gone_ = true; }
    bool gone() const { return gone_; }

    // The document of `file` that this session already holds for a workbook, if any.
    std::shared_ptr<OpenDocument> heldDocument(const std::filesystem::path& file);
    void holdDocument(const std::filesystem::path& file, const std::shared_ptr<OpenDocument>& doc);

private:
    Session(CalcOptions options, std::string pipeName);
    Status connect();
    bool tryConnect();
    Status startOffice();
    Status prepareProfile();
    std::filesystem::path tempDirectory() const;
    void stopOffice();

    CalcOptions options_;
    std::string pipeName_;
    std::filesystem::path profile_;  // empty: the user's own
    bool removeProfile_ = false;     // a private profile, removed when soffice quits
    pid_t process_ = -1;             // soffice started by this session
    std::string lastConnectError_;
    css::uno::Reference<css::frame::XDesktop2> desktop_;
    std::atomic<bool> gone_{false};
    std::mutex documentsMutex_;
    std::map<std::filesystem::path, std::weak_ptr<OpenDocument>> documents_;
};

// A document open in Calc, shared by the workbooks made of it. When the engine loaded it and
// the options close documents, the last of them to go closes it in Calc.
class OpenDocument {
public:
    OpenDocument(std::shared_ptr<Session> session, css::uno::Reference<css::frame::XModel> model,
                 bool loadedByEngine);
    ~OpenDocument();
    OpenDocument(const OpenDocument&) = delete;
    OpenDocument& operator=(const OpenDocument&) = delete;

    const std::shared_ptr<Session>& session() const { return session_; }
    const css::uno::Reference<css::frame::XModel>& model() const { return model_; }

private:
    std::shared_ptr<Session> session_;
    css::uno::Reference<css::frame::XModel> model_;
    bool loadedByEngine_;
};

// The UNO exception's own text, for the detail at the end of a message.
std::string Detail(const css::uno::Exception& exception);

}  // namespace tivaro::workbook::calc
