// TWMeltMaterial.h - the melt material: a mesh of several fluids shaded by one material per fluid,
// each scaled by the fluid's weight.
#pragma once

#include "c4d.h"
#include "melt_blend.h"

#include <memory>
#include <unordered_map>

class TWMeltMaterial : public MaterialData
{
public:
	static NodeData* Alloc() { return new TWMeltMaterial(); }

	Bool Init(GeListNode* node) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	INITRENDERRESULT InitRender(BaseMaterial* mat, const InitRenderStruct& irs) override;
	void FreeRender(BaseMaterial* mat) override;
	Int32 GetRenderInfo(BaseMaterial* mat) override;
	void InitCalculation(BaseMaterial* mat, VolumeData* vd, INITCALCULATION type) override;
	void CalcSurface(BaseMaterial* mat, VolumeData* vd) override;
	void CalcTransparency(BaseMaterial* mat, VolumeData* vd) override;
	void CalcAlpha(BaseMaterial* mat, VolumeData* vd) override;
	void CalcVolumetric(BaseMaterial* mat, VolumeData* vd) override;

	Float WeightExponent() const { return _weight_exponent; }

private:
	// The slots of the sample's render object; null when the render did not prepare it (it is not
	// added then: shading runs on several threads and must not change the map).
	const MeltSlots* SlotsOf(const VolumeData* vd) const;
	// Runs request on a copy of vd for each material and adds what it gives, scaled by the material's
	// weight at the sample, into vd through add.
	template <typename Request, typename Add>
	void Blend(VolumeData* vd, Request request, Add add) const;

	void BuildPreviewScene(BaseDocument* doc);
	Bool PreparePreview(BaseMaterial* mat, MatPreviewPrepareScene* prep);
	void RenderPreview(MatPreviewGenerateImage* gen);

	Float _weight_exponent = 0.0;
	std::unordered_map<const RayObject*, std::unique_ptr<MeltSlots>> _objects;
};
