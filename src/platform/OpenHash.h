// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

// Positions in a list by a hash of what stands there: open addressing with
// linear probing, at most half full, eight bytes a slot. The table holds
// only hashes and positions; the caller's `same(index)` says whether the
// entry at a position is the one sought. A slot keeps 32 bits of the hash,
// so a probe compares the entries of true candidates only: a million
// listings or values do not fit any cache, and each comparison is a miss.
// Made for the lookups that run once per listing over a million of them,
// where a general hash map's node per entry would cost a miss more.
class PositionIndex
{
public:
    // Room for `expected` entries without growing.
    explicit PositionIndex(size_t expected = 0) { Reset(expected); }

    // Empty, with room for `expected` entries.
    void Reset(size_t expected)
    {
        size_t capacity = 16;
        while (capacity < expected * 2 + 2)
            capacity *= 2;
        m_slots.assign(capacity, Slot{0, -1});
        m_used = 0;
    }

    // The position of an entry of this hash for which `same` holds, or -1.
    template <typename Same> int Find(size_t hash, Same&& same) const
    {
        size_t slot = 0;
        return find(fold(hash), same, slot);
    }

    // The position already held for an entry `same` accepts; otherwise
    // `index` is added and returned.
    template <typename Same> int Insert(size_t hash, int index, Same&& same)
    {
        const quint32 h = fold(hash);
        size_t slot = 0;
        const int held = find(h, same, slot);
        if (held >= 0) return held;
        put(slot, h, index);
        return index;
    }

    // Adds `index`, known to be absent.
    void Add(size_t hash, int index)
    {
        const quint32 h = fold(hash);
        put(free(h), h, index);
    }

private:
    struct Slot
    {
        quint32 hash;
        qint32 index; // -1: empty
    };

    // Both halves of a 64-bit hash count: the probe starts at its low bits,
    // and the rest still tells candidates apart.
    static quint32 fold(size_t hash) { return quint32(quint64(hash) ^ (quint64(hash) >> 32)); }

    template <typename Same> int find(quint32 h, Same& same, size_t& slot) const
    {
        const size_t mask = m_slots.size() - 1;
        for (slot = h & mask;; slot = (slot + 1) & mask) {
            const Slot& s = m_slots[slot];
            if (s.index < 0) return -1;
            if (s.hash == h && same(int(s.index))) return s.index;
        }
    }

    size_t free(quint32 h) const
    {
        const size_t mask = m_slots.size() - 1;
        size_t slot = h & mask;
        while (m_slots[slot].index >= 0)
            slot = (slot + 1) & mask;
        return slot;
    }

    void put(size_t slot, quint32 h, int index)
    {
        m_slots[slot] = {h, qint32(index)};
        if (++m_used * 2 > m_slots.size()) grow();
    }

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2, Slot{0, -1});
        old.swap(m_slots);
        for (const Slot& s : old)
            if (s.index >= 0) m_slots[free(s.hash)] = s;
    }

    std::vector<Slot> m_slots; // a power of two
    size_t m_used = 0;
};
