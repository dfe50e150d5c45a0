#pragma once

// Stores value in a property's field; true when it changed, so that the
// setter emits the property's notify signal.
template <typename T>
bool assignProperty(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
