#pragma once

#include "settings/SettingsFiles.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace karv {

/// A message box the store asks the user interface to show.
struct SettingsMessage {
    std::string text;
    std::string caption;
    bool exclamationIcon = false;
};

/// Shows a message and returns when the user has answered it.
using SettingsMessageSink = std::function<void(const SettingsMessage&)>;
/// Dispatches the user interface's pending events; may run handlers that use the store again.
using EventPump = std::function<void()>;

/// One queued write: section, key and value text.
struct PendingWrite {
    std::string section;
    std::string key;
    std::string value;
};

/// The last section that was looked up. Positions are 0-based; -1 means unknown.
struct SectionCache {
    std::string name;
    std::int64_t headerPos = -1;
    std::int64_t headerEnd = -1;
    bool trusted = false;
};

inline constexpr std::string_view kSettingsFailureText =
    "配置模块出现意外，可能导致无法正常保存！详情请咨询Karv。";
inline constexpr std::string_view kSettingsMessageCaption = "信息：";

/// The program's settings: the whole settings file held in memory, searched and edited by the rules
/// of the settings format. Every applied write replaces the file on disk atomically, so the file is
/// always either the old or the new content and, once a write has returned, equals `fileImage()`.
/// The file is locked for the whole run; a store that could not take the lock (a second running
/// instance) or cannot write the folder reads the file but never writes it.
///
/// Single-threaded. Lookups and writes call the event pump once per pass, so handlers may re-enter
/// the store; writes requested through the typed operations while another write is applied are
/// queued and applied after it, in order.
class SettingsStore {
public:
    explicit SettingsStore(EventPump pump = {}, SettingsMessageSink messages = {});
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    void setEventPump(EventPump pump) { m_pump = std::move(pump); }
    void setMessageSink(SettingsMessageSink messages) { m_messages = std::move(messages); }
    /// Runs the event pump once (no-op without one).
    void pumpMessages();

    /// Loads the file at `path` (missing or unreadable: empty; a leading UTF-8 byte-order mark
    /// dropped) and takes the lock on `path` + ".lock", creating an empty settings file when there
    /// is none. Returns whether the store may write the file. A file that exists but cannot be read
    /// (also a named pipe or a device, which is never waited for) is never overwritten.
    bool openStore(const std::string& path);
    /// Whether writes reach the disk (the lock is held and the file could be created).
    bool isWritable() const { return m_writable; }
    const std::string& path() const { return m_path; }
    /// The whole settings file as loaded and edited since.
    const std::string& fileImage() const { return m_image; }

    /// The stored text of `key` in `section` (also an empty one), or `defaultValue`.
    std::string readValue(std::string_view section, std::string_view key, std::string_view defaultValue);
    /// Stores `value` under `key` in `section`, adding the section and key when missing. Returns true
    /// when the value is in the image and on disk; false when it could not be stored (a name that
    /// would break the file's structure, a value with a CR LF, the section guard) or did not reach the
    /// disk (a store that does not own the file, a failed disk write: the image keeps the change).
    bool writeValue(std::string_view section, std::string_view key, std::string_view value);

    /// The section that the typed operations address.
    const std::string& currentSection() const { return m_currentSection; }
    void setCurrentSection(std::string section) { m_currentSection = std::move(section); }

    /// Queued text write (CR LF stored as "┊*┊"). True when the write was applied in this call and
    /// reached the disk; false when it was queued behind a running write or failed.
    bool writeText(std::string_view key, std::string_view value);
    std::string readText(std::string_view key, std::string_view defaultValue);
    /// Queued number write ("%.13g"); result as `writeText`.
    bool writeNumber(std::string_view key, double value);
    double readNumber(std::string_view key, double defaultValue);
    /// Queued logical write ("真"/"假"); result as `writeText`.
    bool writeFlag(std::string_view key, bool value);
    bool readFlag(std::string_view key, bool defaultValue);

    /// Writes the byte-value file of `currentSection()` and `key` whole (atomically), creating the
    /// "inibin" folder when needed. False when it was not written (also for a store that does not own
    /// the settings file, or a name containing "/").
    bool writeByteValue(std::string_view key, std::string_view bytes);
    /// The byte-value file's content; `defaultValue` when it is missing or empty.
    std::string readByteValue(std::string_view key, std::string_view defaultValue);
    /// Path of the byte-value file of `currentSection()` and `key`.
    std::string byteValuePath(std::string_view key) const;

    const std::deque<PendingWrite>& pendingWrites() const { return m_pending; }
    bool writeInProgress() const { return m_writeInProgress; }
    /// Applies the queued writes in order. Returns the result of the first one; false when the queue
    /// is empty or a write is already being applied (that one drains the queue).
    bool applyPendingWrites();

    const SectionCache& sectionCache() const { return m_cache; }

    /// Starts a batch: until the matching endBatch() applied writes change the image only and the
    /// file is replaced once at the end. Saving a window this way costs one disk write instead of
    /// one per control. Batches nest.
    void beginBatch();
    /// Ends a batch; returns false when the final disk write was needed and failed.
    bool endBatch();

private:
    enum class Lookup { Found, Absent, Rejected };
    Lookup lookupSection(const std::string& section, std::size_t& searchStart, std::size_t& headerEnd);
    bool queueWrite(std::string_view key, std::string value);
    bool persist();
    void notify(std::string text, bool exclamationIcon);

    EventPump m_pump;
    SettingsMessageSink m_messages;
    std::string m_path;
    std::string m_image;
    settingsio::FileLock m_lock;
    bool m_writable = false;
    bool m_diskCurrent = true;
    int m_batchDepth = 0;
    bool m_writeInProgress = false;
    std::deque<PendingWrite> m_pending;
    SectionCache m_cache;
    std::string m_currentSection;
};

/// RAII form of SettingsStore::beginBatch()/endBatch().
class SettingsBatch {
public:
    explicit SettingsBatch(SettingsStore& store) : m_store(store) { m_store.beginBatch(); }
    ~SettingsBatch() { m_store.endBatch(); }
    SettingsBatch(const SettingsBatch&) = delete;
    SettingsBatch& operator=(const SettingsBatch&) = delete;

private:
    SettingsStore& m_store;
};

} // namespace karv
