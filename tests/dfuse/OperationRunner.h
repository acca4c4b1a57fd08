#pragma once

#include "dfuse/DfuseApi.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

// Prepares and runs erase and programming operations the way the programs do, and keeps what the caller saw.
class OperationRunner {
public:
    struct Outcome {
        std::uint32_t launch = 0;
        std::uint32_t lastStatusCall = 0;
        std::uint32_t stop = 0;
        // Copies of the final context's fields (the context is byte-packed: its fields are read by value).
        std::uint32_t errorCode = 0;
        int percent = 0;
        std::uint32_t currentRequest = 0;
        std::uint32_t currentAddress = 0;
        std::vector<int> percents;
    };

    // Filters the image for the operation with the memory map read from the device.
    static std::uint32_t Filter(const std::string& devicePath, void* image, std::uint32_t operation)
    {
        MAPPING* mapping = nullptr;
        unsigned long alternates = 0;
        std::uint32_t status = STDFUPRT_CreateMappingFromDevice(devicePath.c_str(), &mapping, &alternates);
        if (status == DFUSE_STATUS_SUCCESS) {
            status = STDFUFILES_FilterImageForOperation(image, mapping, operation, 1);
            STDFUPRT_DestroyMapping(&mapping);
        }
        return status;
    }

    static DFUThreadContext Context(const std::string& devicePath, std::uint32_t operation, void* image,
                                    bool skipErased = true)
    {
        DFUThreadContext context;
        std::memset(&context, 0, sizeof context);
        context.DfuGUID = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
        context.Operation = operation;
        context.bDontSendFFTransfersForUpgrade = skipErased ? 1 : 0;
        context.hImage = image;
        std::strncpy(context.szDevLink, devicePath.c_str(), sizeof context.szDevLink - 1);
        return context;
    }

    // Launches the operation and polls it until a status call fails, Percent reaches 100 or 20 s pass.
    static Outcome Run(DFUThreadContext context)
    {
        Outcome outcome;
        unsigned long id = 0;
        outcome.launch = STDFUPRT_LaunchOperation(&context, &id);
        if (outcome.launch != DFUSE_STATUS_SUCCESS) {
            return outcome;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            outcome.lastStatusCall = STDFUPRT_GetOperationStatus(id, &context);
            outcome.percents.push_back(context.Percent);
        } while (outcome.lastStatusCall == DFUSE_STATUS_SUCCESS && context.Percent < 100 &&
                 std::chrono::steady_clock::now() < deadline);
        outcome.stop = STDFUPRT_StopOperation(id, &context);
        outcome.errorCode = context.ErrorCode;
        outcome.percent = context.Percent;
        outcome.currentRequest = context.CurrentRequest;
        outcome.currentAddress = context.CurrentAddress;
        return outcome;
    }
};
