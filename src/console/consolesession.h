// One run of the print server console, whatever shows it: the services,
// the one-console lock, the printers, the transfer, the prompters and the
// engine, in the order the start-up needs them.
#pragma once

#include "app/commandline.h"
#include "app/instances.h"
#include "app/prompter.h"
#include "app/services.h"
#include "app/warnings.h"
#include "console/consoleengine.h"
#include "console/folderwatch.h"
#include "console/transferhooks.h"
#include "printing/printers.h"

#include <functional>
#include <memory>

namespace kel {

class ConsoleSession
{
public:
    // Makes the network transfer once the services are loaded, with the
    // console's prompter and a function for its status texts.
    using TransferFactory = std::function<std::unique_ptr<TransferHooks>(
        const Services &services, Prompter &prompter,
        std::function<void(const std::string &text)> status)>;

    // `queues` opens jobs on print-system queues; `transfer` makes the
    // network transfer, or is empty for a console without one.
    ConsoleSession(const ConsoleSwitches &switches, QueueOpener queues,
                   TransferFactory transfer = {});
    ~ConsoleSession();

    // Start-up up to the engine: folders, KEL.LNG and KEL.INI, "-P" (108),
    // a queue folder at all (257), and the one-console lock (109). A
    // refusal ends the program; its message is -1 when the language file
    // or the temporary folder failed (the detail is then the text).
    Status prepare();

    // Builds the engine over `prompter` (the console's boxes) and `warnings`
    // (markup warnings), applies the start-up connection and runs the
    // activation. Afterwards engine() is ready for its loop.
    void start(Prompter &prompter, Warnings &warnings);

    const ConsoleSwitches &switches() const { return m_switches; }
    Services &services() { return m_services; }
    const Printers &printers() const { return m_printers; }
    TransferHooks &transfer() { return *m_transfer; }
    ConsoleEngine &engine() { return *m_engine; }
    // Whether start() has made the engine.
    bool started() const { return m_engine != nullptr; }
    // The connection file loaded at start-up, "" for none.
    const std::string &connection() const { return m_connection; }
    int checkEverySeconds() const { return m_checkEvery; }
    // The watch on the queue folder, begun by prepare() before the engine's
    // first look, for the console's loop.
    FolderWatch *watch() { return m_watch.get(); }

    // Where the transfer's status texts go (the status bar, the log); they
    // are dropped until one is set.
    void setTransferStatus(std::function<void(const std::string &text)> sink)
    {
        m_transferStatus = std::move(sink);
    }

    // Starts the viewer program (the "kel" beside this one) on a file.
    static void startViewer(const std::string &path);
    // The viewers a windowed console runs at once for reports that ask for
    // one; a report past them waits under its viewer name, said.
    static constexpr int kMaxViewers = 4;
    static void startLimitedViewer(const std::string &path, Prompter &prompter,
                                   const Messages &messages);

private:
    ConsoleSwitches m_switches;
    Services m_services;
    Printers m_printers;
    TransferFactory m_transferFactory;
    std::function<void(const std::string &text)> m_transferStatus;
    TransferHooks m_noTransfer;
    std::unique_ptr<TransferHooks> m_ownedTransfer;
    TransferHooks *m_transfer;
    std::unique_ptr<InstanceLock> m_instance;
    std::unique_ptr<ConsoleLock> m_lock;
    std::unique_ptr<FolderWatch> m_watch;
    SteadyConsoleClock m_clock;
    std::unique_ptr<ConsoleContext> m_context;
    std::unique_ptr<ConsoleEngine> m_engine;
    std::string m_connection;
    int m_checkEvery = 20;
};

// The whole headless console: start-up, activation and the event loop,
// every box a line on stderr. Needs a QGuiApplication (fonts for printing)
// and returns the program's exit status: 0 after SHUTDOWN or a stop
// signal, 1 when the start-up refused.
int runHeadlessConsole(ConsoleSession &session);

// The text of a start-up refusal: message N's text, with the detail for
// the refusals that name a folder.
QString startupRefusalText(const Messages &messages, const Refusal &refusal);

} // namespace kel
