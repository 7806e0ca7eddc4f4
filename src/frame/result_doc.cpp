#include "frame/result_doc.hpp"

namespace tf {

ResultDoc::ResultDoc() noexcept : doc_(yyjson_mut_doc_new(nullptr)) {
  if (doc_ == nullptr) return;
  root_ = yyjson_mut_obj(doc_);
  if (root_ != nullptr) yyjson_mut_doc_set_root(doc_, root_);
}

ResultDoc::~ResultDoc() { yyjson_mut_doc_free(doc_); }

bool ResultDoc::add_string(const char* key, const char* value) noexcept {
  return root_ != nullptr && yyjson_mut_obj_add_strcpy(doc_, root_, key, value);
}

bool ResultDoc::add_int(const char* key, std::int64_t value) noexcept {
  return root_ != nullptr && yyjson_mut_obj_add_int(doc_, root_, key, value);
}

void ResultDoc::add_true(const char* key) noexcept {
  if (root_ != nullptr) yyjson_mut_obj_add_true(doc_, root_, key);
}

yyjson_mut_val* ResultDoc::add_array(const char* key) noexcept {
  if (root_ == nullptr) return nullptr;
  yyjson_mut_val* array = yyjson_mut_arr(doc_);
  if (array == nullptr) return nullptr;
  return yyjson_mut_obj_add_val(doc_, root_, key, array) ? array : nullptr;
}

yyjson_mut_val* ResultDoc::append_object(yyjson_mut_val* array) noexcept {
  if (array == nullptr) return nullptr;
  yyjson_mut_val* obj = yyjson_mut_obj(doc_);
  if (obj == nullptr) return nullptr;
  return yyjson_mut_arr_append(array, obj) ? obj : nullptr;
}

void ResultDoc::add_int_to(yyjson_mut_doc* doc, yyjson_mut_val* obj, const char* key,
                           std::int64_t value) noexcept {
  if (obj != nullptr) yyjson_mut_obj_add_int(doc, obj, key, value);
}

char* ResultDoc::write(std::size_t* length) noexcept {
  if (doc_ == nullptr) return nullptr;
  return yyjson_mut_write(doc_, YYJSON_WRITE_NOFLAG, length);
}

}  // namespace tf
