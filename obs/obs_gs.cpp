// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/obs_gs.h"

#include <obs.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

std::mutex retiredMutex;
std::vector<gs_texture_t*> retired;

}  // namespace

gs_texture* CreateBgraTexture(unsigned width, unsigned height, const uint8_t* pixels) {
    const uint8_t* planes[1] = {pixels};
    return gs_texture_create(width, height, GS_BGRA, 1, planes, GS_DYNAMIC);
}

void SetBgraImage(gs_texture* texture, const uint8_t* pixels, unsigned pitch) {
    gs_texture_set_image(texture, pixels, pitch, false);
}

void DrawTextureSprite(gs_texture* texture, float x1, float y1, float x2, float y2) {
    const float dx = x2 - x1, dy = y2 - y1;
    uint32_t flip = 0;
    if (dx < 0) flip |= GS_FLIP_U;
    if (dy < 0) flip |= GS_FLIP_V;
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_blend_state_push();
    // Straight alpha over what is below; the alpha channel accumulates as
    // OBS's own sources do.
    gs_blend_function_separate(GS_BLEND_SRCALPHA, GS_BLEND_INVSRCALPHA, GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    gs_matrix_push();
    gs_matrix_translate3f(std::min(x1, x2), std::min(y1, y2), 0.0f);
    while (gs_effect_loop(effect, "Draw")) {
        gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), texture);
        gs_draw_sprite(texture, flip, static_cast<uint32_t>(std::lround(std::abs(dx))),
                       static_cast<uint32_t>(std::lround(std::abs(dy))));
    }
    gs_matrix_pop();
    gs_blend_state_pop();
}

void RetireTexture(gs_texture* texture) {
    std::lock_guard lock(retiredMutex);
    retired.push_back(texture);
}

void ReleaseRetiredTextures() {
    std::vector<gs_texture_t*> textures;
    {
        std::lock_guard lock(retiredMutex);
        textures.swap(retired);
    }
    for (gs_texture_t* texture : textures) gs_texture_destroy(texture);
}
