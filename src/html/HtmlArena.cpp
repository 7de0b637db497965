// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/HtmlInternal.h"

#include <cstdlib>

namespace htmldoc {

Arena::~Arena()
{
    BlockHeader* b = head.next;
    while (b != &head) {
        BlockHeader* next = b->next;
        std::free(b);
        b = next;
    }
}

void* Arena::allocate(void* userdata, size_t size)
{
    auto* arena = static_cast<Arena*>(userdata);
    auto* b = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!b) std::abort(); // gumbo cannot recover from a failed allocation
    b->prev = &arena->head;
    b->next = arena->head.next;
    arena->head.next->prev = b;
    arena->head.next = b;
    return b + 1;
}

void Arena::deallocate(void*, void* ptr)
{
    if (!ptr) return;
    BlockHeader* b = static_cast<BlockHeader*>(ptr) - 1;
    b->prev->next = b->next;
    b->next->prev = b->prev;
    std::free(b);
}

std::unique_ptr<Data> parseUtf8(QByteArray utf8)
{
    auto d = std::make_unique<Data>();
    d->utf8 = std::move(utf8);
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::deallocate;
    options.userdata = &d->arena;
    options.max_errors = 0; // the error list is never read
    d->output = gumbo_parse_with_options(&options, d->utf8.constData(), size_t(d->utf8.size()));
    return d;
}

} // namespace htmldoc
