// While this process writes tags, the library's folder monitors hold back
// the files whose change records they have seen. The write's own new info
// reaches the tracks when the operation ends; reading each written file
// again meanwhile only competes with the writes.
#pragma once

class tag_write_scope {
public:
  tag_write_scope() noexcept;
  ~tag_write_scope();
  tag_write_scope(const tag_write_scope&) = delete;
  tag_write_scope& operator=(const tag_write_scope&) = delete;

  // Any thread: whether a scope is open anywhere in the process.
  static bool any_open() noexcept;
};
