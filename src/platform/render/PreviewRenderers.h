// Makes the preview's renderers known to the media layer: the video renderer as the class
// CLSID_VideoMixingRenderer, the audio renderer as CLSID_DSoundRender and as the renderer the
// graph adds on its own when it renders a sound stream without a sink.
#pragma once

namespace vornak {

// Safe to call again: each call registers the same two classes over the last.
void RegisterPreviewRenderers();

}  // namespace vornak
