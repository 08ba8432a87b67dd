#include "graphics/picturePrefetch.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/image/imageCodec.h"
#include "system/dataFile.h"

namespace {

thread_local PicturePrefetch* t_current = nullptr;

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        const char c =
            static_cast<char>(std::tolower(static_cast<unsigned char>(text[text.size() - length + i])));
        if (c != suffix[i]) return false;
    }
    return true;
}

// The endings of the formats the image decoder reads.
bool IsPictureName(const std::string& name) {
    static constexpr const char* kEndings[] = {".png", ".jpg", ".jpeg", ".bmp", ".gif", ".webp",
                                               ".tga", ".tif", ".tiff", ".qoi", ".pnm", ".ppm",
                                               ".pgm", ".pbm", ".pam",  ".pcx"};
    return std::any_of(std::begin(kEndings), std::end(kEndings),
                       [&name](const char* ending) { return EndsWith(name, ending); });
}

}  // namespace

// The level is written over the one above in place: each texel is written after its taps were read,
// and every tap still to be read lies at or after it.
void HalveMipLevel(std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t halfWidth,
                   uint32_t halfHeight) {
    // Where a destination coordinate falls between two source texels, and how far towards the second.
    struct Tap {
        uint32_t first, second;
        float weight;
    };
    auto taps = [](uint32_t from, uint32_t to) {
        std::vector<Tap> result(to);
        for (uint32_t i = 0; i < to; ++i) {
            const float centre = (float(i) + 0.5f) * float(from) / float(to) - 0.5f;
            const float clamped = std::clamp(centre, 0.0f, float(from - 1));
            const uint32_t first = static_cast<uint32_t>(clamped);
            result[i] = {first, std::min(first + 1, from - 1), clamped - float(first)};
        }
        return result;
    };
    const std::vector<Tap> across = taps(width, halfWidth), down = taps(height, halfHeight);
    for (uint32_t y = 0; y < halfHeight; ++y) {
        const uint8_t* top = pixels.data() + size_t(down[y].first) * width * 4;
        const uint8_t* bottom = pixels.data() + size_t(down[y].second) * width * 4;
        const float wy = down[y].weight;
        for (uint32_t x = 0; x < halfWidth; ++x) {
            const Tap& t = across[x];
            uint8_t texel[4];
            for (uint32_t c = 0; c < 4; ++c) {
                const float upper =
                    top[t.first * 4 + c] + (top[t.second * 4 + c] - top[t.first * 4 + c]) * t.weight;
                const float lower =
                    bottom[t.first * 4 + c] + (bottom[t.second * 4 + c] - bottom[t.first * 4 + c]) * t.weight;
                texel[c] = static_cast<uint8_t>(upper + (lower - upper) * wy + 0.5f);
            }
            std::copy(texel, texel + 4, pixels.begin() + (size_t(y) * halfWidth + x) * 4);
        }
    }
}

PicturePrefetch::PicturePrefetch(const std::vector<std::string>& fileNames, unsigned workers) {
    for (const std::string& name : fileNames) {
        const bool seen = std::any_of(m_items.begin(), m_items.end(),
                                      [&name](const Item& item) { return item.fileName == name; });
        if (!seen) {
            Item item;
            item.fileName = name;
            m_items.push_back(std::move(item));
        }
    }
    if (m_items.empty()) return;
    if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency()) - 1;
    workers = std::clamp(workers, 1u, 4u);
    workers = std::min<unsigned>(workers, static_cast<unsigned>(m_items.size()));
    for (unsigned i = 0; i < workers; ++i) m_workers.emplace_back([this] { Work(); });
}

PicturePrefetch::~PicturePrefetch() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    for (std::thread& worker : m_workers) worker.join();
}

void PicturePrefetch::Work() {
    for (;;) {
        Item* item = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            while (m_next < m_items.size() && m_items[m_next].state != State::Waiting) ++m_next;
            if (m_stopping || m_next == m_items.size()) return;
            item = &m_items[m_next++];
            item->state = State::Working;
        }
        std::vector<char> bytes;
        std::shared_ptr<const PreparedPicture> picture;
        const bool prepared = Prepare(*item, bytes, picture);
        {
            const std::lock_guard lock(m_mutex);
            size_t size = bytes.size();
            if (picture) {
                for (const auto& level : picture->levels) size += level.size();
            }
            if (prepared && m_heldBytes + size <= kBudgetBytes) {
                m_heldBytes += size;
                item->bytes = std::move(bytes);
                item->picture = std::move(picture);
                item->state = State::Done;
            } else {
                item->state = State::Skipped;
            }
        }
        m_done.notify_all();
    }
}

bool PicturePrefetch::Prepare(Item& item, std::vector<char>& bytes,
                              std::shared_ptr<const PreparedPicture>& picture) {
    // Read without a message: a file that cannot be read here is read again, and logged, by its load.
    FileData file;
    if (ReadDataFile(item.fileName, file, nullptr, int64_t(kBudgetBytes)) != DataFileRead::Read ||
        file.size <= 0)
        return false;
    Image::Picture decoded;
    std::string error;
    if (!Image::Decode(file.data.get(), static_cast<size_t>(file.size), decoded, error, Image::kMaxSide,
                       kMaxPixels))
        return false;
    bytes.assign(file.data.get(), file.data.get() + file.size);

    auto result = std::make_shared<PreparedPicture>();
    uint32_t width = result->width = static_cast<uint32_t>(decoded.width);
    uint32_t height = result->height = static_cast<uint32_t>(decoded.height);
    result->levels.push_back(std::move(decoded.rgba));
    while (width > 1 || height > 1) {
        const uint32_t halfWidth = std::max(1u, width / 2), halfHeight = std::max(1u, height / 2);
        std::vector<uint8_t> next = result->levels.back();
        HalveMipLevel(next, width, height, halfWidth, halfHeight);
        next.resize(size_t(halfWidth) * halfHeight * 4);
        result->levels.push_back(std::move(next));
        width = halfWidth;
        height = halfHeight;
    }
    picture = std::move(result);
    return true;
}

std::shared_ptr<const PreparedPicture> PicturePrefetch::Take(const std::string& fileName, const void* bytes,
                                                             size_t size) {
    std::unique_lock lock(m_mutex);
    const auto item = std::find_if(m_items.begin(), m_items.end(),
                                   [&fileName](const Item& i) { return i.fileName == fileName; });
    if (item == m_items.end()) return nullptr;
    // Not started yet: the caller decodes it sooner than a worker would get to it.
    if (item->state == State::Waiting) {
        item->state = State::Skipped;
        return nullptr;
    }
    m_done.wait(lock, [&item] { return item->state == State::Done || item->state == State::Skipped; });
    if (item->state != State::Done || item->bytes.size() != size ||
        std::memcmp(item->bytes.data(), bytes, size) != 0)
        return nullptr;
    return item->picture;
}

void PicturePrefetch::Finish() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] {
        return std::all_of(m_items.begin(), m_items.end(), [](const Item& item) {
            return item.state == State::Done || item.state == State::Skipped;
        });
    });
}

std::vector<std::string> PicturePrefetch::NamedPictures(const pugi::xml_node& node) {
    std::vector<std::string> names;
    // Depth first in document order, without recursion: a script may nest deeply.
    pugi::xml_node current = node.first_child();
    while (current && current != node) {
        if (std::strcmp(current.name(), "param") == 0 &&
            std::strcmp(current.attribute("type").value(), "string") == 0) {
            const std::string value = current.attribute("value").value();
            if (IsPictureName(value)) names.push_back(value);
        }
        if (current.first_child()) {
            current = current.first_child();
            continue;
        }
        while (current != node && !current.next_sibling()) current = current.parent();
        if (current != node) current = current.next_sibling();
    }
    return names;
}

std::vector<std::string> PicturePrefetch::NamedPicturesOfScript(const std::string& scriptName) {
    FileData script;
    if (ReadDataFile(scriptName, script, nullptr) != DataFileRead::Read) return {};
    pugi::xml_document document;
    if (!document.load_buffer(script.data.get(), static_cast<size_t>(script.size))) return {};
    return NamedPictures(document.child("demo"));
}

PicturePrefetch* PicturePrefetch::Current() {
    return t_current;
}

PicturePrefetch::Scope::Scope(PicturePrefetch& prefetch) : m_previous(t_current) {
    t_current = &prefetch;
}

PicturePrefetch::Scope::~Scope() {
    t_current = m_previous;
}

ScriptPictures::ScriptPictures(const std::string& scriptName)
    : m_prefetch(PicturePrefetch::NamedPicturesOfScript(scriptName)), m_scope(m_prefetch) {}
