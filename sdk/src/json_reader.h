#pragma once
// Reading of the library's JSON files (scenarios, the library configuration).

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <set>
#include <string>

namespace calidra::sorvik {

using json = nlohmann::json;

// Checks keys and types by hand: the file comes from outside and a bad one
// must give a clear message, never an exception through the C interface.
class JsonReader {
public:
    explicit JsonReader(std::string& error) : error_(error) {}

    bool onlyKeys(const json& object, const std::set<std::string>& allowed, const std::string& where) {
        if (!object.is_object()) {
            return fail(where + " must be an object");
        }
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (allowed.count(it.key()) == 0) {
                return fail("unknown key \"" + it.key() + "\" in " + where);
            }
        }
        return true;
    }

    bool number(const json& object, const char* key, double& value, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end()) {
            return true;
        }
        if (!it->is_number() || !std::isfinite(it->get<double>())) {
            return fail(std::string("\"") + key + "\" in " + where + " must be a number");
        }
        value = it->get<double>();
        return true;
    }

    bool integer(const json& object, const char* key, int& value, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end()) {
            return true;
        }
        if (!it->is_number_integer()) {
            return fail(std::string("\"") + key + "\" in " + where + " must be an integer");
        }
        const auto wide = it->get<long long>();
        if (wide < INT32_MIN || wide > INT32_MAX) {
            return fail(std::string("\"") + key + "\" in " + where + " is out of range");
        }
        value = int(wide);
        return true;
    }

    bool text(const json& object, const char* key, std::string& value, const std::string& where,
              std::size_t maximumLength) {
        auto it = object.find(key);
        if (it == object.end()) {
            return true;
        }
        if (!it->is_string()) {
            return fail(std::string("\"") + key + "\" in " + where + " must be a string");
        }
        value = it->get<std::string>();
        if (value.size() >= maximumLength) {
            return fail(std::string("\"") + key + "\" in " + where + " is too long");
        }
        return true;
    }

    bool boolean(const json& object, const char* key, bool& value, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end()) {
            return true;
        }
        if (!it->is_boolean()) {
            return fail(std::string("\"") + key + "\" in " + where + " must be true or false");
        }
        value = it->get<bool>();
        return true;
    }

    bool point(const json& object, const char* key, double& x, double& y, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end()) {
            return true;
        }
        if (!it->is_array() || it->size() != 2 || !(*it)[0].is_number() || !(*it)[1].is_number()) {
            return fail(std::string("\"") + key + "\" in " + where + " must be [x, y]");
        }
        x = (*it)[0].get<double>();
        y = (*it)[1].get<double>();
        return true;
    }

    bool fail(const std::string& message) {
        error_ = message;
        return false;
    }

private:
    std::string& error_;
};

} // namespace calidra::sorvik
