#pragma once
// The one use count behind every GPU handle (GL and OpenCL objects alike).
//
// A handle holds a pointer to a small control block: the object's name, the function that
// deletes it, the count of handles sharing it, and any fields the copies share (a
// framebuffer's draw buffers, a pass's texture inputs). Copying a handle adds one to the
// count; the last handle to go deletes the object once. Counts are plain integers: handles
// are created, copied and released on one thread at a time. The last release can end the
// process: its deleter's failed check cannot throw out of a destructor.
#include <utility>

#include "diag/fatal.h"

namespace talvo {

struct nofields {};

// GCC 12 cannot see that a block shared by several handles outlives all but the last of them,
// and warns of a use after free where one handle's release is inlined next to another's use.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

template <typename Name, typename Fields = nofields>
class shared {
public:
    // Deletes the object. A deleter that keeps a binding cache clears it first.
    using deleter = void (*)(Name);

    // An empty handle: no object, nothing to delete.
    shared() = default;
    shared(Name name, deleter del, Fields fields = Fields())
        : block_(new block{name, 1, del, std::move(fields)}) {}

    shared(const shared& other) : block_(other.block_) {
        if (block_) ++block_->count;
    }
    shared(shared&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    shared& operator=(shared other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }
    ~shared() { release(); }

    explicit operator bool() const { return block_ != nullptr; }
    Name name() const { return block_ ? block_->name : Name(); }
    Fields& fields() const { return block_->fields; }
    int usecount() const { return block_ ? block_->count : 0; }

    // Lets go of this handle's share now (the object goes if this was the last one).
    void reset() { release(); }

private:
    struct block {
        Name name;
        int count;
        deleter del;
        Fields fields;
    };

    void release() {
        block* b = std::exchange(block_, nullptr);
        if (!b || --b->count > 0) return;
        Name name = b->name;
        deleter del = b->del;
        delete b;  // shared fields (which may hold handles themselves) go first
        // The deleter's check may fail (an error pending from elsewhere); a destructor cannot
        // throw, so the run ends here as it would after any other failed check.
        if (del) endonfatal([&] { del(name); });
    }

    block* block_ = nullptr;
};

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

}  // namespace talvo
