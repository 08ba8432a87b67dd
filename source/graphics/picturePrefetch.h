// Pictures prepared ahead of need. A script's effects load one after another on the thread that owns
// the graphics device; meanwhile the pictures the script names are read, decoded and filtered into
// their mip chains on worker threads, each once however many effects name it, so that a texture
// loading finds its levels made. A prepared picture is handed out only for the very bytes it was
// made from, so what a texture holds is exactly what it would have made itself; anything that went
// wrong ahead (a missing file, a bad picture) is simply done again, and logged, by the load itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pugi {
class xml_node;
}

/// A picture with its mip chain: level 0 as decoded (RGBA8, rows from the top), each further level
/// filtered down from the one above, to 1 by 1.
struct PreparedPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<std::vector<uint8_t>> levels;
};

/// The next mip level of a `width` × `height` RGBA8 level, written over its first bytes in place
/// (the GPU's own filter: the bilinear sample of the level above at each texel's centre).
void HalveMipLevel(std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t halfWidth,
                   uint32_t halfHeight);

class PicturePrefetch {
public:
    /// The most bytes of prepared levels held at once; a picture beyond it is left to its load.
    static constexpr size_t kBudgetBytes = size_t(256) << 20;
    /// The most pixels of one picture prepared ahead (4096 by 4096).
    static constexpr long long kMaxPixels = 16LL << 20;

    /// Starts preparing `fileNames` (paths in the mounted data; a repeated name is prepared once), in
    /// that order, on `workers` threads (0: one fewer than the processor has cores, at least one).
    explicit PicturePrefetch(const std::vector<std::string>& fileNames, unsigned workers = 0);
    /// Drops what has not started and waits for what has.
    ~PicturePrefetch();
    PicturePrefetch(const PicturePrefetch&) = delete;
    PicturePrefetch& operator=(const PicturePrefetch&) = delete;

    /// The picture prepared from `fileName` when it was made from exactly these `bytes`, waiting for it
    /// while a worker has it in hand; null when it was not prepared (not named, not yet started,
    /// unreadable, undecodable, over the budget) or the file has changed since.
    std::shared_ptr<const PreparedPicture> Take(const std::string& fileName, const void* bytes, size_t size);

    /// Waits until every picture named is prepared or given up.
    void Finish();

    /// The image file names among the string parameters of `node` and everything below it, in
    /// document order.
    static std::vector<std::string> NamedPictures(const pugi::xml_node& node);

    /// The image file names of the script `scriptName` in the mounted data, as NamedPictures finds
    /// them; none when it cannot be read or parsed (its load says why).
    static std::vector<std::string> NamedPicturesOfScript(const std::string& scriptName);

    /// The prefetch the load in progress on the calling thread draws on, or null.
    static PicturePrefetch* Current();

    /// Makes a prefetch the calling thread's current one for its lifetime.
    class Scope {
    public:
        explicit Scope(PicturePrefetch& prefetch);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        PicturePrefetch* m_previous;
    };

private:
    enum class State { Waiting, Working, Done, Skipped };
    struct Item {
        std::string fileName;
        State state = State::Waiting;
        std::vector<char> bytes;  // what the picture was made from
        std::shared_ptr<const PreparedPicture> picture;
    };

    void Work();
    /// Reads and prepares one picture (no lock held); false when it cannot be.
    bool Prepare(Item& item, std::vector<char>& bytes, std::shared_ptr<const PreparedPicture>& picture);

    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<Item> m_items;
    size_t m_next = 0;
    size_t m_heldBytes = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

/// The pictures a script names, prepared ahead and current on the creating thread while this lives:
/// made as soon as the data is mounted, so that decoding runs beside the device's creation.
class ScriptPictures {
public:
    explicit ScriptPictures(const std::string& scriptName);

private:
    PicturePrefetch m_prefetch;
    PicturePrefetch::Scope m_scope;
};
