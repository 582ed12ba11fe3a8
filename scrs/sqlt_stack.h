// Work stack of the tree routines: a few entries in place, then the guarded
// heap (s_realloc), so that walking a deep tree never uses the call stack.
#pragma once
#include "util/utalloc.h"

#include <cstddef>
#include <cstdlib>

template <class T>
class SqltStack {
public:
    SqltStack() = default;
    SqltStack(const SqltStack &) = delete;
    SqltStack &operator=(const SqltStack &) = delete;
    ~SqltStack()
    {
        if (items_ != local_)
            free(items_);
    }

    void push(const T &v)
    {
        if (count_ == capacity_)
            grow();
        items_[count_++] = v;
    }
    T pop() { return items_[--count_]; }
    T &top() { return items_[count_ - 1]; }
    T &below(size_t depth) { return items_[count_ - 1 - depth]; }
    bool empty() const { return count_ == 0; }
    size_t size() const { return count_; }

private:
    void grow()
    {
        size_t cap = capacity_ * 2;
        T *items = static_cast<T *>(s_alloc(cap, sizeof(T)));
        for (size_t i = 0; i < count_; ++i)
            items[i] = items_[i];
        if (items_ != local_)
            free(items_);
        items_ = items;
        capacity_ = cap;
    }

    static constexpr size_t kLocal = 64;
    T local_[kLocal];
    T *items_ = local_;
    size_t count_ = 0;
    size_t capacity_ = kLocal;
};
