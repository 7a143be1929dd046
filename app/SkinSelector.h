// Chooses the skin folder (from the user's registry value or the default), registers the skin
// packages with the UI engine and loads or reloads the chosen skin's "facet.xml".
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

inline constexpr WCHAR kDefaultSkinFolder[] = u"config/defaultskin";
inline constexpr WCHAR kSkinRegistryKey[] = u"Software\\TernSafe";
inline constexpr WCHAR kSkinRegistryValue[] = u"DefaultSkin";

class CSkinSelector {
public:
    enum RegistryUse : BOOL {
        kIgnoreRegistry = FALSE,
        kReadRegistry = TRUE,
    };
    // The folder depth of a skin reload.
    static constexpr int kReloadFolderDepth = 2;

    CSkinSelector() = default;

    // A depth greater than 0 also becomes the process's shared folder depth.
    void Create(HMODULE module, int folderDepth, BOOL readRegistry);

    // The skin folder relative to the base folder, '/' separated, without a trailing separator.
    const WString& GetSkinFolder(BOOL reread);
    // The base folder joined with the relative skin folder.
    WString GetAbsoluteSkinFolder(BOOL reread);
    // The module's folder with the folder depth's components removed; empty when unknown.
    WString GetBaseFolder() const;

    // 1 when "config/config.xml" listed at least one item, -1 otherwise.
    int RegisterSkins();
    // Registers the skins and lets the engine load the skin's "facet.xml"; the engine's result,
    // E_FAIL without the engine.
    HRESULT LoadSkin();
    // A skin reload: a new selector of depth 2 re-reads the skin folder, registers the package
    // named after it and has the engine reload the skin.
    static HRESULT ReloadSkin(HMODULE module);

private:
    WString ReadRegistrySkinFolder() const;
    void RegisterSkinFolders(EnginePackage* package, const WString& base) const;

    WString m_skinFolder;
    HMODULE m_module = nullptr;
    int m_folderDepth = 0;
    BOOL m_readRegistry = kReadRegistry;
};
