#include "common/JsonRef.h"

#include <json-c/json.h>

#include <cmath>
#include <climits>
#include <cstdlib>
#include <utility>

JsonRef::~JsonRef()
{
    if (obj)
        json_object_put(obj);
}

JsonRef::JsonRef(const JsonRef& other) : obj(other.obj ? json_object_get(other.obj) : nullptr) {}

JsonRef::JsonRef(JsonRef&& other) noexcept : obj(std::exchange(other.obj, nullptr)) {}

JsonRef& JsonRef::operator=(JsonRef other) noexcept
{
    std::swap(obj, other.obj);
    return *this;
}

JsonRef JsonRef::parse(const char* data, size_t length)
{
    if (!data || length > size_t(INT_MAX))
        return {};
    json_tokener* tok = json_tokener_new();
    if (!tok)
        return {};
    json_object* o = json_tokener_parse_ex(tok, data, int(length));
    json_tokener_error err = json_tokener_get_error(tok);
    bool trailing = err == json_tokener_success && size_t(json_tokener_get_parse_end(tok)) < length;
    // Whitespace after the value is fine, anything else is not JSON.
    if (trailing) {
        for (size_t i = json_tokener_get_parse_end(tok); i < length; ++i) {
            char c = data[i];
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '\0') {
                err = json_tokener_error_parse_unexpected;
                break;
            }
        }
    }
    json_tokener_free(tok);
    if (err != json_tokener_success) {
        if (o)
            json_object_put(o);
        return {};
    }
    return JsonRef(o);
}

json_object* JsonRef::release()
{
    return std::exchange(obj, nullptr);
}

JsonRef JsonRef::get(const char* key) const
{
    json_object* child = nullptr;
    if (obj && json_object_is_type(obj, json_type_object) && json_object_object_get_ex(obj, key, &child) && child)
        return JsonRef(json_object_get(child));
    return {};
}

int JsonRef::size() const
{
    if (!obj)
        return 0;
    if (json_object_is_type(obj, json_type_object))
        return json_object_object_length(obj);
    if (json_object_is_type(obj, json_type_array))
        return int(json_object_array_length(obj));
    return 0;
}

JsonRef JsonRef::at(int i) const
{
    if (!obj || i < 0 || !json_object_is_type(obj, json_type_array) || size_t(i) >= json_object_array_length(obj))
        return {};
    json_object* child = json_object_array_get_idx(obj, size_t(i));
    return child ? JsonRef(json_object_get(child)) : JsonRef();
}

bool JsonRef::isObject() const { return obj && json_object_is_type(obj, json_type_object); }
bool JsonRef::isArray() const { return obj && json_object_is_type(obj, json_type_array); }
bool JsonRef::isString() const { return obj && json_object_is_type(obj, json_type_string); }

namespace {

// Leading number of a text, as std::stod / std::stoi read it; 0 when none.
double leadingDouble(const char* s)
{
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v))
        return 0;
    return v;
}

int leadingInt(const char* s)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || errno == ERANGE || v > INT_MAX || v < INT_MIN)
        return 0;
    return int(v);
}

int truncateToInt(double d)
{
    if (!std::isfinite(d) || d >= 2147483648.0 || d <= -2147483649.0)
        return 0;
    return int(d);
}

} // namespace

double JsonRef::toDouble() const
{
    if (!obj)
        return 0;
    switch (json_object_get_type(obj)) {
    case json_type_boolean: return json_object_get_boolean(obj) ? 1 : 0;
    case json_type_double: return json_object_get_double(obj);
    case json_type_int: return json_object_get_int(obj);
    case json_type_string: return leadingDouble(json_object_get_string(obj));
    default: return 0;
    }
}

int JsonRef::toInt() const
{
    if (!obj)
        return 0;
    switch (json_object_get_type(obj)) {
    case json_type_boolean: return json_object_get_boolean(obj) ? 1 : 0;
    case json_type_double: return truncateToInt(json_object_get_double(obj));
    case json_type_int: return json_object_get_int(obj);
    case json_type_string: return leadingInt(json_object_get_string(obj));
    default: return 0;
    }
}

std::string JsonRef::toString() const
{
    if (!obj)
        return {};
    switch (json_object_get_type(obj)) {
    case json_type_boolean: return json_object_get_boolean(obj) ? "true" : "false";
    case json_type_double: return std::to_string(json_object_get_double(obj));
    case json_type_int: return std::to_string(json_object_get_int(obj));
    case json_type_string: return std::string(json_object_get_string(obj), size_t(json_object_get_string_len(obj)));
    default: return {};
    }
}
