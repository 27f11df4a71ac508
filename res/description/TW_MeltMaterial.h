#ifndef TW_MELTMATERIAL_H__
#define TW_MELTMATERIAL_H__

enum
{
	TW_MeltMaterial = 1031575,
};

#endif
