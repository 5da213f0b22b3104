// SPDX-License-Identifier: GPL-3.0-or-later
#include "satellite/Calibration.h"

#include <cmath>

std::array<TTemperatureTable, 8> MsgChannelTemps{};
std::array<TTemperatureTable, 6> MeteosatCountTemps{};
TTemperatureTable LinearTemps{};
TTemperatureTable StepTemps1{};
TTemperatureTable StepTemps2{};

const std::array<const char*, 12> CalibrationNames = {"Met2WV", "Met2IR", "Met3WV", "Met3IR", "Met4WV", "Met4IR",
                                                      "Met5WV", "Met5IR", "Met7WV", "Met7IR", "Met6WV", "Met6IR"};

namespace {

// Planck inversion of a linear radiance calibration per 10-bit count.
struct TMsgChannel {
    double Wavenumber; // nu, cm-1
    double B;
    double A;
    double Slope;
    double Offset;
};
constexpr TMsgChannel MsgChannels[8] = {
    {2569.094, 3.471, 0.9959, 0.0036587, -0.186592},   // IR 3.9
    {1598.566, 2.219, 0.9963, 0.0083181, -0.4242235},  // WV 6.2
    {1362.142, 0.485, 0.9991, 0.038622, -1.9697212},   // WV 7.3
    {1149.083, 0.181, 0.9996, 0.1267, -6.4639},        // IR 8.7
    {1034.345, 0.06, 0.9999, 0.104, -5.302},           // IR 9.7
    {930.659, 0.627, 0.9983, 0.2050345, -10.4567571},  // IR 10.8
    {839.661, 0.397, 0.9988, 0.2223, -11.3379},        // IR 12.0
    {752.381, 0.576, 0.9981, 0.1576, -8.038},          // IR 13.4
};
constexpr double C1 = 1.19104e-05;
constexpr double C2 = 1.43877;

// T = a / (ln((count - d) * c) - b).
struct TMeteosatCalibration {
    double A;
    double B;
    double C;
    double D;
};
constexpr TMeteosatCalibration MeteosatCalibrations[6] = {
    {-1267.2, 6.7615, 0.0876, 5.4},
    {-2264.9, 9.1124, 0.0084, 6.9},
    {-2266.7, 9.2361, 0.008237, 6.0},
    {-1272.2, 6.7348, 0.081711, 5.0},
    {-2233.4882, 9.2477, 0.009241, 6.0},
    {-1255.5465, 6.9618, 0.099119, 5.0},
};

constexpr float StepList1[64] = {
    298.06f, 298.06f, 298.06f, 297.185f, 295.44f, 293.69f, 291.945f, 290.2f, 288.455f, 286.71f, 284.96f,
    283.215f, 281.47f, 279.725f, 277.98f, 276.23f, 274.485f, 272.74f, 270.995f, 269.25f, 267.5f, 265.755f,
    264.01f, 262.265f, 260.52f, 258.77f, 257.025f, 255.28f, 253.535f, 251.79f, 250.04f, 248.295f, 246.55f,
    244.8f, 243.055f, 241.31f, 239.565f, 237.82f, 236.07f, 234.325f, 232.58f, 230.835f, 229.09f, 227.34f,
    225.595f, 223.85f, 222.105f, 220.36f, 218.61f, 216.865f, 215.12f, 213.375f, 211.63f, 209.88f, 208.135f,
    206.39f, 204.645f, 202.9f, 201.15f, 199.405f, 197.66f, 196.78f, 196.78f, 196.78f};
constexpr float StepList2[64] = {
    263.15f, 262.94f, 262.525f, 262.11f, 261.69f, 261.265f, 260.84f, 260.405f, 259.965f, 259.525f, 259.08f,
    258.63f, 258.175f, 257.715f, 257.25f, 256.78f, 256.305f, 255.825f, 255.34f, 254.85f, 254.355f, 253.85f,
    253.34f, 252.8f, 252.3f, 251.77f, 251.235f, 250.69f, 250.135f, 249.575f, 249.01f, 248.435f, 247.85f,
    247.26f, 246.66f, 246.045f, 245.425f, 244.795f, 244.15f, 243.5f, 242.835f, 242.155f, 241.47f, 240.77f,
    240.055f, 239.325f, 238.575f, 237.815f, 237.04f, 236.245f, 235.43f, 234.595f, 233.745f, 232.87f, 231.97f,
    231.045f, 230.095f, 229.12f, 228.115f, 227.075f, 226.0f, 224.885f, 223.73f, 223.14f};

void ComputeMsgTable(int index)
{
    const TMsgChannel& ch = MsgChannels[index];
    TTemperatureTable& table = MsgChannelTemps[index];
    const double nu3 = ch.Wavenumber * ch.Wavenumber * ch.Wavenumber;
    for (int i = 0; i < 256; ++i) {
        const double count = 4.0 * (255 - i);
        const double radiance = ch.Slope * count + ch.Offset;
        if (radiance <= 0) {
            table[i] = 0.0f;
            continue;
        }
        const double t = (C2 * ch.Wavenumber / std::log(C1 * nu3 / radiance + 1.0) - ch.B) / ch.A;
        table[i] = static_cast<float>(t);
    }
}

void ComputeMeteosatTable(int index)
{
    const TMeteosatCalibration& cal = MeteosatCalibrations[index];
    TTemperatureTable& table = MeteosatCountTemps[index];
    for (int i = 0; i < 256; ++i) {
        const double q = (i - cal.D) * cal.C;
        double value = 0.0;
        if (q > 0) {
            const double denominator = std::log(q) - cal.B;
            // ln(q) stays far below b for 8-bit counts; guard the division anyway.
            value = denominator != 0.0 ? cal.A / denominator : 0.0;
        }
        table[255 - i] = static_cast<float>(value);
    }
}

void ExpandSteps(const float (&list)[64], TTemperatureTable& table)
{
    for (int k = 0; k < 64; ++k)
        for (int j = 0; j < 4; ++j)
            table[4 * k + j] = list[k];
}

} // namespace

void InitializeCalibration()
{
    for (int index : {0, 1, 2, 3, 5, 4, 6, 7})
        ComputeMsgTable(index);
    for (int index : {0, 1, 2, 4, 3, 5})
        ComputeMeteosatTable(index);
    for (int i = 0; i < 256; ++i)
        LinearTemps[255 - i] = static_cast<float>((4.0 * i + 1.5) * 170.5 / 1023.0 + 160.0);
    ExpandSteps(StepList1, StepTemps1);
    ExpandSteps(StepList2, StepTemps2);
}

std::vector<TCalibrationColumn> KelvinTableColumns()
{
    std::vector<TCalibrationColumn> columns;
    for (size_t k = 0; k < MsgChannelTemps.size(); ++k)
        columns.push_back({"msg" + std::to_string(k), &MsgChannelTemps[k]});
    for (size_t k = 0; k < MeteosatCountTemps.size(); ++k)
        columns.push_back({"meteosat" + std::to_string(k), &MeteosatCountTemps[k]});
    columns.push_back({"linear", &LinearTemps});
    columns.push_back({"step1", &StepTemps1});
    columns.push_back({"step2", &StepTemps2});
    return columns;
}
