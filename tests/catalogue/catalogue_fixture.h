#pragma once
// A fresh catalogue and an empty scratch folder for every test.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "catalogue/FilterManager.h"

namespace orvextest {

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Earlier tests may have left registrations behind; the destructor clears the instance.
        delete orvex::CNLECGFilterManager::GetInstance();
        catalogue_ = orvex::CNLECGFilterManager::GetInstance();
        ASSERT_NE(catalogue_, nullptr);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        root_ = ORVEX_BINARY_DIR "/tmp-catalogue/" + name;
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        std::filesystem::create_directories(root_);
    }

    void TearDown() override {
        delete catalogue_;
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    // Creates root/relative (and its parents) and returns its path.
    std::string Folder(const std::string& relative) const {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)));
        return Path(relative);
    }

    // Writes text to root/relative, creating its folders; returns the file's path.
    std::string Write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path file(Path(relative));
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file.native();
    }

    // The record registered under a GUID, or null.
    std::shared_ptr<orvex::NLEFilterInfo> Registered(const std::string& guid) const {
        orvex::CNLECGFilterConstructor* constructor = nullptr;
        return catalogue_->FindConstructor(guid, &constructor) ? constructor->Info() : nullptr;
    }

    // True when key is a registered GUID or effect name.
    bool Known(const std::string& key) const {
        return catalogue_->FindConstructor(key, nullptr) || !catalogue_->GetDescriptionFolder(key).empty();
    }

    orvex::CNLECGFilterManager* catalogue_ = nullptr;
    std::string root_;
};

}  // namespace orvextest
