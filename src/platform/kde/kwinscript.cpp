#include "kwinscript.h"

#include "model/privatefiles.h"
#include "platform/dbus/asynccall.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

const QString KWinScript::objectPath = u"/org/kelvo/KWinForeground"_s;
const QString KWinScript::interfaceName = u"org.kelvo.KWinForeground"_s;

namespace {

const QString kwinName = u"org.kde.KWin"_s;
const QString scriptingPath = u"/Scripting"_s;
const QString scriptingInterface = u"org.kde.kwin.Scripting"_s;
const QString scriptInterface = u"org.kde.kwin.Script"_s;

// No answer within this time counts as no answer; nothing ever waits for it.
constexpr int replyTimeoutMs = 5000;
// KWin takes its name on the bus before its scripting is there: until it is, loading is tried
// again this often, for at most a minute.
constexpr int retryMs = 250;
constexpr int maxAttempts = 240;

// Runs inside KWin. KWin 6 names the signal windowActivated and the property activeWindow,
// KWin 5 clientActivated and activeClient. The pid goes as a whole number, which D-Bus carries
// as an int32.
const char scriptTemplate[] = R"js(// Kelvo: tells Kelvo which window is in front.
(function () {
    var target = %1;
    function text(value) {
        return value === undefined || value === null ? "" : String(value);
    }
    function report(window) {
        callDBus(target[0], target[1], target[2], "WindowActivated",
                 window ? text(window.desktopFileName) : "",
                 window ? text(window.resourceClass) : "",
                 window ? text(window.resourceName) : "",
                 window ? window.pid | 0 : 0);
    }
    (workspace.windowActivated || workspace.clientActivated).connect(report);
    report(workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient);
})();
)js";

QDBusMessage scriptingCall(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kwinName, scriptingPath, scriptingInterface, method);
    message.setArguments(arguments);
    // KWin is the compositor: Kelvo follows it, never starts it.
    message.setAutoStartService(false);
    return message;
}

bool isReply(const QDBusMessage& message, QStringView signature)
{
    return message.type() == QDBusMessage::ReplyMessage && message.signature() == signature;
}

} // namespace

// The object that the script calls. Only the current owner of org.kde.KWin is heard.
class KWinCallbackReceiver final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kelvo.KWinForeground")

public:
    using Handler = std::function<void(const KWinWindowReport&)>;

    explicit KWinCallbackReceiver(Handler handler)
        : m_handler(std::move(handler))
    {}

    // The unique name whose calls count; empty while none does.
    QString trustedSender;

public slots:
    Q_SCRIPTABLE void WindowActivated(const QString& desktopFileName, const QString& resourceClass,
                                      const QString& resourceName, int pid)
    {
        accept({desktopFileName, resourceClass, resourceName, pid});
    }

    // A scripting engine may hand a whole number on as a double.
    Q_SCRIPTABLE void WindowActivated(const QString& desktopFileName, const QString& resourceClass,
                                      const QString& resourceName, double pid)
    {
        const bool whole =
            std::isfinite(pid) && pid >= 0 && pid <= 4194304 && std::trunc(pid) == pid;
        accept({desktopFileName, resourceClass, resourceName, whole ? qint64(pid) : 0});
    }

private:
    void accept(const KWinWindowReport& report)
    {
        if (!calledFromDBus() || trustedSender.isEmpty() || message().service() != trustedSender) {
            if (calledFromDBus())
                sendErrorReply(QDBusError::AccessDenied, u"Only KWin reports here."_s);
            return;
        }
        m_handler(report);
    }

    Handler m_handler;
};

class KWinScript::Private {
public:
    Private(KWinScript* script, const QDBusConnection& connection)
        : q(script)
        , bus(connection)
        , receiver([script](const KWinWindowReport& report) { emit script->reported(report); })
    {}

    void onOwnerChanged(const QString& newOwner);
    void loadInto(const QString& owner);
    void run(int id, bool kwin6Path);
    bool writeScript();
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> onReply);
    void failed(const char* what);

    KWinScript* q;
    QDBusConnection bus;
    KWinCallbackReceiver receiver;
    QDBusServiceWatcher* watcher = nullptr;
    std::unique_ptr<QTemporaryFile> file;
    QString pluginName;
    QString owner;
    quint64 generation = 0;
    int attempts = 0;
    bool wanted = false;
    bool registered = false;
    bool reportedFailure = false;
};

void KWinScript::Private::call(const QDBusMessage& message,
                               std::function<void(const QDBusMessage&)> onReply)
{
    callAsync(
        bus, message, replyTimeoutMs, q,
        [this, expected = generation, onReply = std::move(onReply)](const QDBusMessage& reply) {
            if (expected == generation)
                onReply(reply);
        });
}

void KWinScript::Private::failed(const char* what)
{
    if (reportedFailure)
        return;
    reportedFailure = true;
    std::fprintf(stderr, "Kelvo cannot %s in KWin; no AI use will be recorded.\n", what);
}

void KWinScript::Private::onOwnerChanged(const QString& newOwner)
{
    ++generation;
    attempts = 0;
    owner = newOwner;
    receiver.trustedSender.clear();
    // Until the script runs again nothing is known to be in front; on Wayland, the windows of
    // a compositor that went away have gone with it.
    emit q->reported({});
    if (wanted && !owner.isEmpty())
        loadInto(owner);
}

void KWinScript::Private::loadInto(const QString& kwin)
{
    if (!writeScript()) {
        failed("write its script");
        return;
    }
    receiver.trustedSender = kwin;
    call(scriptingCall(u"loadScript"_s, {file->fileName(), pluginName}),
         [this, kwin](const QDBusMessage& reply) {
             const bool notYet =
                 reply.type() == QDBusMessage::ErrorMessage &&
                 (reply.errorName() == u"org.freedesktop.DBus.Error.UnknownObject" ||
                  reply.errorName() == u"org.freedesktop.DBus.Error.UnknownMethod");
             if (notYet && ++attempts < maxAttempts) {
                 QTimer::singleShot(retryMs, q, [this, kwin, expected = generation] {
                     if (expected == generation)
                         loadInto(kwin);
                 });
                 return;
             }
             const int id = isReply(reply, u"i") ? reply.arguments().constFirst().toInt() : -1;
             if (id < 0)
                 failed("load its script");
             else
                 run(id, true);
         });
}

// KWin 6 shows a loaded script at /Scripting/Script<id>, KWin 5 at /<id>.
void KWinScript::Private::run(int id, bool kwin6Path)
{
    const QString path = kwin6Path ? u"/Scripting/Script%1"_s.arg(id) : u"/%1"_s.arg(id);
    QDBusMessage message =
        QDBusMessage::createMethodCall(kwinName, path, scriptInterface, u"run"_s);
    message.setAutoStartService(false);
    call(message, [this, id, kwin6Path](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
        if (kwin6Path)
            run(id, false);
        else
            failed("run its script");
    });
}

// The script names this connection, which only Kelvo can own, so its calls reach no one else.
bool KWinScript::Private::writeScript()
{
    if (file)
        return true;
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime))
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString folder = runtime + u"/kelvo"_s;
    QString error;
    if (!PrivateFiles::ensureFolder(folder, &error) || !PrivateFiles::isOwnPrivateFolder(folder))
        return false;
    auto script = std::make_unique<QTemporaryFile>(folder + u"/kwin-XXXXXX.js"_s);
    const QJsonArray target{bus.baseService(), objectPath, interfaceName};
    const QByteArray text =
        QString::fromLatin1(scriptTemplate)
            .arg(QString::fromUtf8(QJsonDocument(target).toJson(QJsonDocument::Compact)))
            .toUtf8();
    if (!script->open() || script->write(text) != text.size() || !script->flush())
        return false;
    file = std::move(script);
    return true;
}

KWinScript::KWinScript(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, bus))
{
    d->pluginName = u"kelvo-foreground-"_s + d->bus.baseService();
}

KWinScript::~KWinScript()
{
    unload();
    if (d->registered)
        d->bus.unregisterObject(objectPath);
}

void KWinScript::load()
{
    if (d->wanted || !d->bus.isConnected())
        return;
    if (!d->registered) {
        d->registered =
            d->bus.registerObject(objectPath, &d->receiver, QDBusConnection::ExportScriptableSlots);
        if (!d->registered) {
            d->failed("receive reports");
            return;
        }
    }
    d->wanted = true;
    if (!d->watcher) {
        d->watcher = new QDBusServiceWatcher(kwinName, d->bus,
                                             QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(d->watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    d->onOwnerChanged(newOwner);
                });
    }
    QDBusMessage getOwner =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"GetNameOwner"_s);
    getOwner << kwinName;
    d->call(getOwner, [this](const QDBusMessage& reply) {
        d->onOwnerChanged(isReply(reply, u"s") ? reply.arguments().constFirst().toString()
                                               : QString());
    });
}

void KWinScript::unload()
{
    if (!d->wanted)
        return;
    d->wanted = false;
    ++d->generation;
    d->receiver.trustedSender.clear();
    // Sent without waiting for the answer: Kelvo may be on its way out.
    if (!d->owner.isEmpty())
        d->bus.send(scriptingCall(u"unloadScript"_s, {d->pluginName}));
    d->owner.clear();
}

} // namespace kelvo

#include "kwinscript.moc"
