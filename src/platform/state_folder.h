#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace klar {

/// The folder where the program keeps its small state, and what the user is told about it.
struct StateFolderChoice {
    std::string path;   ///< empty when the system names no such place
    std::string notice; ///< one sentence when the folder the environment names was passed over
};

/// The folder where the program keeps its small state for the user: $XDG_STATE_HOME/klarvenor
/// (default ~/.local/state/klarvenor) on POSIX, %LOCALAPPDATA%\Klarvenor on Windows. It may not
/// exist yet. The administrator never takes over another user's folder (as `sudo -E` would
/// hand it): root then keeps its state in its own home, and the notice says so.
[[nodiscard]] StateFolderChoice ChooseStateFolder();
[[nodiscard]] std::string StateFolder();

/// A file in the state folder that this process holds open: a job's journal, or one taken
/// over from a job that died. The system lets it go when the process ends, however it ends.
struct HeldFile {
    std::intptr_t native = -1;
    [[nodiscard]] bool open() const { return native != -1; }
};

/// Makes the state folder if it is missing (0700) and checks that it may hold this user's
/// state: reached without a link at its last step, a folder, this user's own (Windows: no
/// reparse point) and not writable by anyone else. Failed, with why in words, otherwise.
[[nodiscard]] OsStatus CheckStateFolder(const std::string& folder);

/// Creates name in the checked state folder as a new file (never an existing one, never
/// through a link), open for appending and held. Kind::Exists when the name is taken.
[[nodiscard]] OsStatus CreateHeldFile(const std::string& folder, const std::string& name,
                                      HeldFile& out);

/// Appends text to a held file and, unless `flush` is false, forces it to the medium. Failed
/// when either step fails. Text not flushed outlives the process, not a power loss.
[[nodiscard]] OsStatus AppendToHeldFile(HeldFile& file, const std::string& text, bool flush = true);

/// Cuts a held file back to its first `size` bytes (and forces that to the medium).
[[nodiscard]] OsStatus TruncateHeldFile(HeldFile& file, std::uint64_t size);

/// Lets go of a held file; the file stays. Safe on a closed handle.
void CloseHeldFile(HeldFile& file);

/// The names in the checked state folder that end with suffix, sorted; empty when the folder
/// cannot be read.
[[nodiscard]] std::vector<std::string> ListStateFiles(const std::string& folder,
                                                      const std::string& suffix);

/// Opens name in the checked state folder, made by CreateHeldFile in another process, once that
/// process let it go; `out` then holds it in turn. Only a plain file of this user's that nobody
/// else may write, reached without a link and without waiting (a FIFO or device is refused),
/// and of at most maxBytes; `size` receives its size. Kind::Exists while its maker still holds
/// it; Failed, with why in words, otherwise.
[[nodiscard]] OsStatus TakeOverHeldFile(const std::string& folder, const std::string& name,
                                        std::uint64_t maxBytes, HeldFile& out, std::uint64_t& size);

/// Reads up to size bytes of a held file at offset; the count read, 0 at its end or on a
/// failure.
[[nodiscard]] std::size_t ReadHeldFile(HeldFile& file, std::uint64_t offset, char* data,
                                       std::size_t size);

/// Deletes name from the state folder (never through a link); true when it is gone.
bool RemoveStateFile(const std::string& folder, const std::string& name);

/// The calls above as one interface, which the engine reaches through Platform::stateFiles(),
/// so that a test can stand in front of them and refuse a journal's write.
class StateFiles {
public:
    virtual ~StateFiles() = default;
    [[nodiscard]] virtual OsStatus check(const std::string& folder) = 0;
    [[nodiscard]] virtual OsStatus create(const std::string& folder, const std::string& name,
                                          HeldFile& out) = 0;
    [[nodiscard]] virtual OsStatus append(HeldFile& file, const std::string& text, bool flush) = 0;
    [[nodiscard]] virtual OsStatus truncate(HeldFile& file, std::uint64_t size) = 0;
    virtual void close(HeldFile& file) = 0;
    [[nodiscard]] virtual std::vector<std::string> list(const std::string& folder,
                                                        const std::string& suffix) = 0;
    [[nodiscard]] virtual OsStatus takeOver(const std::string& folder, const std::string& name,
                                            std::uint64_t maxBytes, HeldFile& out,
                                            std::uint64_t& size) = 0;
    [[nodiscard]] virtual std::size_t read(HeldFile& file, std::uint64_t offset, char* data,
                                           std::size_t size) = 0;
    virtual bool remove(const std::string& folder, const std::string& name) = 0;
};

/// The system's state files: the functions above.
[[nodiscard]] StateFiles& SystemStateFiles();

} // namespace klar
