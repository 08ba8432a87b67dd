// A paged pool of objects of one type: pages of 256 slots that never move, so the intrusive lists
// of the simulator can hold plain pointers, and a free list that hands back the slot released last.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace Physics {

template <typename T>
class Pool {
public:
    static constexpr int kPageSize = 256;

    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    // Whatever is still allocated when the pool goes must be released by the owner first; the pool
    // only frees the storage.
    ~Pool() = default;

    /// Constructs an object in a free slot.
    template <typename... Args>
    T* Create(Args&&... args) {
        if (!m_free) AddPage();
        Slot* slot = m_free;
        m_free = slot->next;
        ++m_live;
        return new (slot->storage) T(std::forward<Args>(args)...);
    }

    /// Destroys an object made by Create and puts its slot at the head of the free list.
    void Destroy(T* object) {
        object->~T();
        Slot* slot = reinterpret_cast<Slot*>(object);
        slot->next = m_free;
        m_free = slot;
        --m_live;
    }

    /// Objects created and not destroyed.
    int LiveCount() const { return m_live; }
    /// Pages held.
    int PageCount() const { return int(m_pages.size()); }

private:
    union Slot {
        Slot* next;
        alignas(T) unsigned char storage[sizeof(T)];
    };

    void AddPage() {
        m_pages.push_back(std::make_unique<Slot[]>(kPageSize));
        Slot* page = m_pages.back().get();
        for (int i = 0; i < kPageSize - 1; ++i) page[i].next = &page[i + 1];
        page[kPageSize - 1].next = m_free;
        m_free = page;
    }

    std::vector<std::unique_ptr<Slot[]>> m_pages;
    Slot* m_free = nullptr;
    int m_live = 0;
};

}  // namespace Physics
