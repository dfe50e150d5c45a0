#pragma once

#include <string>

struct json_object;

// An owning handle on one json-c reference with lenient typed getters.
class JsonRef
{
public:
    JsonRef() = default;
    // Takes over one reference of obj (does not add one).
    explicit JsonRef(json_object* obj) : obj(obj) {}
    ~JsonRef();
    JsonRef(const JsonRef& other);
    JsonRef(JsonRef&& other) noexcept;
    JsonRef& operator=(JsonRef other) noexcept;

    // Parses text of the given length; a null handle when it is not JSON.
    static JsonRef parse(const char* data, size_t length);
    static JsonRef parse(const std::string& text) { return parse(text.data(), text.size()); }

    bool isNull() const { return obj == nullptr; }
    explicit operator bool() const { return obj != nullptr; }
    json_object* get() const { return obj; }
    // Gives up the reference to the caller.
    json_object* release();

    JsonRef get(const char* key) const;
    int size() const;
    JsonRef at(int i) const;

    double toDouble() const;
    int toInt() const;
    std::string toString() const;

    bool isObject() const;
    bool isArray() const;
    bool isString() const;

private:
    json_object* obj = nullptr;
};
