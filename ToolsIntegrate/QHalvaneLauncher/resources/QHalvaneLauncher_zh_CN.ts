<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>OrvelCloseConfirmDialog</name>
    <message>
        <source>Close Confirmation</source>
        <translation>关闭确认</translation>
    </message>
    <message>
        <source>Minimize to system tray and continue running?</source>
        <translation>最小化到系统托盘并继续运行？</translation>
    </message>
    <message>
        <source>Remember my choice</source>
        <translation>记住我的选择</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>OrvelDirectoryReconcileDialog</name>
    <message>
        <source>Select Directories to Reconcile</source>
        <translation>选择要校正的目录</translation>
    </message>
    <message>
        <source>Select the directories to compare with the server version.</source>
        <translation>选择要与服务器版本比较的目录。</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>目录</translation>
    </message>
    <message>
        <source>Scan Selected Directories</source>
        <translation>扫描所选目录</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>OrvelPreloadPageWidget</name>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>search...</source>
        <translation>搜索...</translation>
    </message>
    <message>
        <source>Start Execution</source>
        <translation>开始执行</translation>
    </message>
    <message>
        <source>Failed to initialize preload file service: %1</source>
        <translation>预加载文件服务初始化失败：%1</translation>
    </message>
    <message>
        <source>Preload file service initialized: %1</source>
        <translation>预加载文件服务已初始化：%1</translation>
    </message>
    <message>
        <source>Failed to read %1: %2</source>
        <translation>读取 %1 失败：%2</translation>
    </message>
    <message>
        <source>Preload table: %1 item(s) with an unsafe name refused</source>
        <translation>预加载表：已拒绝 %1 个名称不安全的项目</translation>
    </message>
    <message>
        <source>Loaded %1 preload item(s)</source>
        <translation>已加载 %1 个预加载项目</translation>
    </message>
    <message>
        <source>Visible preload item count: %1</source>
        <translation>可见预加载项目数：%1</translation>
    </message>
    <message>
        <source>Search applied: %1 match(es)</source>
        <translation>已应用搜索：%1 个匹配</translation>
    </message>
    <message>
        <source>%1 item(s)</source>
        <translation>%1 个项目</translation>
    </message>
    <message>
        <source>Preload item queued: %1</source>
        <translation>预加载项目已加入队列：%1</translation>
    </message>
    <message>
        <source>Preload item removed: %1</source>
        <translation>预加载项目已移除：%1</translation>
    </message>
    <message>
        <source>Preload execution config path is empty</source>
        <translation>预加载执行配置路径为空</translation>
    </message>
    <message>
        <source>Product execution config path is empty</source>
        <translation>产品执行配置路径为空</translation>
    </message>
    <message>
        <source>Preload start skipped: todo list is empty</source>
        <translation>已跳过预加载：待办列表为空</translation>
    </message>
</context>
<context>
    <name>OrvelReconcilePlanDialog</name>
    <message>
        <source>Confirm Directory Reconcile Plan</source>
        <translation>确认目录校正计划</translation>
    </message>
    <message>
        <source>Select the files to revert to the server version or delete from the local directory.</source>
        <translation>选择要还原为服务器版本或从本地目录删除的文件。</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>Revert to server version</source>
        <translation>还原为服务器版本</translation>
    </message>
    <message>
        <source>Delete extra local files</source>
        <translation>删除多余的本地文件</translation>
    </message>
    <message>
        <source>Apply Selected Changes</source>
        <translation>应用所选更改</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
</context>
<context>
    <name>OrvelPackageBuilder</name>
    <message>
        <source>No files to package</source>
        <translation>没有需要打包的文件</translation>
    </message>
    <message>
        <source>Cannot package unsafe relative path: %1</source>
        <translation>无法打包不安全的相对路径：%1</translation>
    </message>
    <message>
        <source>Cannot package the same file twice: %1</source>
        <translation>无法重复打包同一文件：%1</translation>
    </message>
    <message>
        <source>Cannot package missing file: %1</source>
        <translation>无法打包不存在的文件：%1</translation>
    </message>
    <message>
        <source>Cannot read file: %1</source>
        <translation>无法读取文件：%1</translation>
    </message>
    <message>
        <source>Failed to read file for hashing: %1</source>
        <translation>读取文件以计算哈希失败：%1</translation>
    </message>
    <message>
        <source>Cannot create output file: %1</source>
        <translation>无法创建输出文件：%1</translation>
    </message>
    <message>
        <source>Failed to write package data for in-memory file: %1</source>
        <translation>写入内存文件的包数据失败：%1</translation>
    </message>
    <message>
        <source>Failed to read file: %1</source>
        <translation>读取文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to write package data for file: %1</source>
        <translation>写入文件的包数据失败：%1</translation>
    </message>
</context>
<context>
    <name>OrvelPackageReader</name>
    <message>
        <source>Cannot open update package: %1</source>
        <translation>无法打开更新包：%1</translation>
    </message>
    <message>
        <source>Cannot read package signature</source>
        <translation>无法读取更新包签名</translation>
    </message>
    <message>
        <source>Invalid update package signature</source>
        <translation>更新包签名无效</translation>
    </message>
    <message>
        <source>Unsupported package version: %1</source>
        <translation>不支持的更新包版本：%1</translation>
    </message>
    <message>
        <source>Update package size verification failed</source>
        <translation>更新包大小校验失败</translation>
    </message>
    <message>
        <source>Cannot read file path</source>
        <translation>无法读取文件路径</translation>
    </message>
    <message>
        <source>Update package file table is truncated at: %1</source>
        <translation>更新包文件表在此处被截断：%1</translation>
    </message>
    <message>
        <source>Update package file path is not a safe relative path: %1</source>
        <translation>更新包中的文件路径不是安全的相对路径：%1</translation>
    </message>
    <message>
        <source>Update package holds the same file twice: %1</source>
        <translation>更新包中同一文件出现了两次：%1</translation>
    </message>
    <message>
        <source>Update package file count mismatch: expected %1, actual %2</source>
        <translation>更新包文件数量不匹配：应为 %1，实际为 %2</translation>
    </message>
    <message>
        <source>Update package file offset out of range: %1</source>
        <translation>更新包文件偏移超出范围：%1</translation>
    </message>
    <message>
        <source>Update package file offsets are not ordered: %1</source>
        <translation>更新包文件偏移顺序错误：%1</translation>
    </message>
    <message>
        <source>Invalid file index</source>
        <translation>无效的文件索引</translation>
    </message>
    <message>
        <source>Cannot create directory: %1</source>
        <translation>无法创建目录：%1</translation>
    </message>
    <message>
        <source>Cannot seek to file data: %1</source>
        <translation>无法定位到文件数据：%1</translation>
    </message>
    <message>
        <source>Cannot create file: %1</source>
        <translation>无法创建文件：%1</translation>
    </message>
    <message>
        <source>Failed to read file data: %1</source>
        <translation>读取文件数据失败：%1</translation>
    </message>
    <message>
        <source>Failed to write target file: %1</source>
        <translation>写入目标文件失败：%1</translation>
    </message>
    <message>
        <source>Update package hash mismatch: %1</source>
        <translation>更新包哈希不匹配：%1</translation>
    </message>
</context>
<context>
    <name>OrvelSettingsDialog</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Working Path:</source>
        <translation>工作路径：</translation>
    </message>
    <message>
        <source>Select Working Path</source>
        <translation>选择工作路径</translation>
    </message>
    <message>
        <source>Open Working Path in Explorer</source>
        <translation>在资源管理器中打开工作路径</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>语言：</translation>
    </message>
    <message>
        <source>Download Limit:</source>
        <translation>下载限速：</translation>
    </message>
    <message>
        <source>Unlimited</source>
        <translation>不限速</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>Run in background when closed</source>
        <translation>关闭时在后台运行</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Working path cannot be the parent directory of the launcher executable: %1</source>
        <translation>工作路径不能是启动器程序所在目录的上级目录：%1</translation>
    </message>
</context>
<context>
    <name>OrvelVersionBrowseDialog</name>
    <message>
        <source>Version Browse</source>
        <translation>版本浏览</translation>
    </message>
    <message>
        <source>Select the version to switch to:</source>
        <translation>选择要切换到的版本：</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>v%1</source>
        <translation>v%1</translation>
    </message>
    <message>
        <source> - %1</source>
        <translation> - %1</translation>
    </message>
</context>
<context>
    <name>OrvelWeakReplacementDialog</name>
    <message>
        <source>Weak Replacement Failures</source>
        <translation>弱替换失败</translation>
    </message>
    <message>
        <source>Some non-critical files failed to replace. Select the files to retry now.</source>
        <translation>部分非关键文件替换失败。请选择要立即重试的文件。</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>原因</translation>
    </message>
    <message>
        <source>Replace Selected</source>
        <translation>替换所选</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>跳过</translation>
    </message>
    <message>
        <source>Weak replacement retry skipped: target file service unavailable</source>
        <translation>已跳过弱替换重试：目标文件服务不可用</translation>
    </message>
    <message>
        <source>(%1/%2) Replacing selected file...</source>
        <translation>(%1/%2) 正在替换所选文件...</translation>
    </message>
    <message>
        <source>%1 selected file(s) still failed. Select the files to retry again.</source>
        <translation>%1 个所选文件仍然失败。请选择要再次重试的文件。</translation>
    </message>
</context>
<context>
    <name>OrvelWeakReplacementRetry</name>
    <message>
        <source>Weak replacement retry skipped: target file service unavailable</source>
        <translation>已跳过弱替换重试：目标文件服务不可用</translation>
    </message>
    <message>
        <source>Working path is empty</source>
        <translation>工作路径为空</translation>
    </message>
    <message>
        <source>Refused to replace a file reached through a link: %1</source>
        <translation>拒绝替换经由链接访问的文件：%1</translation>
    </message>
</context>
<context>
    <name>OrvelUpdaterWindow</name>
    <message>
        <source>OrvelUpdater - Updating</source>
        <translation>OrvelUpdater - 正在更新</translation>
    </message>
    <message>
        <source>Preparing update...</source>
        <translation>正在准备更新...</translation>
    </message>
    <message>
        <source>Files %1/%2</source>
        <translation>文件 %1/%2</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>OrvelUpdater - Standalone Updater</source>
        <translation>OrvelUpdater - 独立更新程序</translation>
    </message>
    <message>
        <source>Update package file path</source>
        <translation>更新包文件路径</translation>
    </message>
    <message>
        <source>Target directory</source>
        <translation>目标目录</translation>
    </message>
    <message>
        <source>Main process ID</source>
        <translation>主进程 ID</translation>
    </message>
    <message>
        <source>Wait timeout (ms)</source>
        <translation>等待超时（毫秒）</translation>
    </message>
    <message>
        <source>Backing up existing files...</source>
        <translation>正在备份现有文件...</translation>
    </message>
    <message>
        <source>Backup failed, rolling back...</source>
        <translation>备份失败，正在回滚...</translation>
    </message>
    <message>
        <source>Replacing files...</source>
        <translation>正在替换文件...</translation>
    </message>
    <message>
        <source>Update failed, rolling back...</source>
        <translation>更新失败，正在回滚...</translation>
    </message>
    <message>
        <source>Waiting for launcher to exit...</source>
        <translation>正在等待启动器退出...</translation>
    </message>
    <message>
        <source>Timed out waiting for launcher to exit. Please close the launcher manually and retry.</source>
        <translation>等待启动器退出超时。请手动关闭启动器后重试。</translation>
    </message>
    <message>
        <source>Validating update package...</source>
        <translation>正在校验更新包...</translation>
    </message>
    <message>
        <source>Failed to open update package</source>
        <translation>打开更新包失败</translation>
    </message>
    <message>
        <source>Failed to create backup directory</source>
        <translation>创建备份目录失败</translation>
    </message>
    <message>
        <source>Update complete</source>
        <translation>更新完成</translation>
    </message>
</context>
<context>
    <name>OrvelMainWindow</name>
    <message>
        <source>QHalvaneLauncher</source>
        <translation>QHalvaneLauncher</translation>
    </message>
    <message>
        <source>Update Notice</source>
        <translation>更新公告</translation>
    </message>
    <message>
        <source>Version Browse</source>
        <translation>版本浏览</translation>
    </message>
    <message>
        <source>Repair Files</source>
        <translation>修复文件</translation>
    </message>
    <message>
        <source>Directory Reconcile</source>
        <translation>目录校正</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Get Latest</source>
        <translation>获取最新版本</translation>
    </message>
    <message>
        <source>Preload</source>
        <translation>预下载</translation>
    </message>
    <message>
        <source>Launch Tool</source>
        <translation>启动工具</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Newer version</source>
        <translation>较新版本</translation>
    </message>
    <message>
        <source>Older version</source>
        <translation>较旧版本</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>The release notes appear here after the update check.</source>
        <translation>检查更新后，发布说明将显示在这里。</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>正在下载</translation>
    </message>
    <message>
        <source>Repairing</source>
        <translation>正在修复</translation>
    </message>
    <message>
        <source>Speed: </source>
        <translation>速度：</translation>
    </message>
    <message>
        <source>Launcher Version &lt;None&gt;</source>
        <translation>启动器版本 &lt;无&gt;</translation>
    </message>
    <message>
        <source>Launcher Version v%1</source>
        <translation>启动器版本 v%1</translation>
    </message>
    <message>
        <source>IDE Version v%1</source>
        <translation>IDE 版本 v%1</translation>
    </message>
    <message>
        <source>IDE Version &lt;None&gt;</source>
        <translation>IDE 版本 &lt;无&gt;</translation>
    </message>
    <message>
        <source>Another background task is still running</source>
        <translation>另一个后台任务仍在运行</translation>
    </message>
    <message>
        <source>Stop Current Task</source>
        <translation>停止当前任务</translation>
    </message>
    <message>
        <source>Are you sure you want to stop the current task?</source>
        <translation>确定要停止当前任务吗？</translation>
    </message>
    <message>
        <source>Confirm Close</source>
        <translation>确认关闭</translation>
    </message>
    <message>
        <source>A background task is still running. Are you sure you want to close the launcher?</source>
        <translation>后台任务仍在运行。确定要关闭启动器吗？</translation>
    </message>
</context>
<context>
    <name>OrvelTrayIcon</name>
    <message>
        <source>QHalvaneLauncher v1.0.0</source>
        <translation>QHalvaneLauncher v1.0.0</translation>
    </message>
    <message>
        <source>Show Main Window</source>
        <translation>显示主窗口</translation>
    </message>
    <message>
        <source>Exit Program</source>
        <translation>退出程序</translation>
    </message>
</context>
<context>
    <name>OrvelApplicationController</name>
    <message>
        <source>Launching program: %1</source>
        <translation>正在启动程序：%1</translation>
    </message>
    <message>
        <source>Failed to launch program: %1</source>
        <translation>启动程序失败：%1</translation>
    </message>
    <message>
        <source>Launcher update package ready: %1</source>
        <translation>启动器更新包已就绪：%1</translation>
    </message>
</context>
<context>
    <name>OrvelEditorPath</name>
    <message>
        <source>Refused to launch program: %1 leads outside the working path (%2)</source>
        <translation>拒绝启动程序：%1 指向工作路径之外（%2）</translation>
    </message>
    <message>
        <source>The editor is not installed in the working path (%1 is missing): get the latest version first</source>
        <translation>编辑器尚未安装在工作路径中（缺少 %1）：请先获取最新版本</translation>
    </message>
    <message>
        <source>Cannot enter the working path %1</source>
        <translation>无法进入工作路径 %1</translation>
    </message>
    <message>
        <source>The program file is missing: %1</source>
        <translation>程序文件不存在：%1</translation>
    </message>
    <message>
        <source>The program is not executable: %1</source>
        <translation>程序不可执行：%1</translation>
    </message>
</context>
<context>
    <name>OrvelLauncherSession</name>
    <message>
        <source>Checking FileService startup state...</source>
        <translation>正在检查文件服务启动状态...</translation>
    </message>
    <message>
        <source>Please complete initial settings to continue startup.</source>
        <translation>请完成初始设置以继续启动。</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Resource service unavailable</source>
        <translation>资源服务不可用</translation>
    </message>
    <message>
        <source>IDE resource initialization is unavailable. Resource actions are disabled, but offline launch remains available.</source>
        <translation>IDE 资源初始化不可用。资源操作已禁用，但仍可离线启动。</translation>
    </message>
    <message>
        <source>Limited Mode</source>
        <translation>受限模式</translation>
    </message>
    <message>
        <source>Resource version mismatch detected. Resource repair is required before update features can be used.</source>
        <translation>检测到资源版本不匹配。使用更新功能前需要修复资源。</translation>
    </message>
    <message>
        <source>Recorded resource sync state mismatched the current Corvane state. Switched to latest version and enabled repair-only mode.</source>
        <translation>记录的资源同步状态与当前 Corvane 状态不一致。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Removed %1 cache item(s) from _cache and rebuilt Corvane reader for repair-only startup.</source>
        <translation>已从 _cache 删除 %1 个缓存项，并为仅修复启动重建了 Corvane 读取器。</translation>
    </message>
</context>
<context>
    <name>OrvelLauncherController</name>
    <message>
        <source>resource service unavailable</source>
        <translation>资源服务不可用</translation>
    </message>
    <message>
        <source>Failed to initialize notice file service for version %1: %2</source>
        <translation>无法为版本 %1 初始化公告文件服务：%2</translation>
    </message>
    <message>
        <source>Update notice unavailable</source>
        <translation>更新公告不可用</translation>
    </message>
    <message>
        <source>Notice version request resolved to unexpected version: requested %1, got %2</source>
        <translation>公告版本请求解析为意外版本：请求 %1，得到 %2</translation>
    </message>
    <message>
        <source>Failed to read changelog.txt for version %1: %2</source>
        <translation>读取版本 %1 的 changelog.txt 失败：%2</translation>
    </message>
    <message>
        <source>Failed to read changelog.txt

%1</source>
        <translation>读取 changelog.txt 失败

%1</translation>
    </message>
    <message>
        <source>&lt;empty&gt;</source>
        <translation>&lt;空&gt;</translation>
    </message>
    <message>
        <source> | PakInfo unavailable: %1</source>
        <translation> | PakInfo 不可用：%1</translation>
    </message>
    <message>
        <source>Failed to read PakInfo for notice version %1: %2</source>
        <translation>读取公告版本 %1 的 PakInfo 失败：%2</translation>
    </message>
    <message>
        <source>Failed to read version metadata.

%1</source>
        <translation>读取版本元数据失败。

%1</translation>
    </message>
    <message>
        <source>Checking for updates...</source>
        <translation>正在检查更新...</translation>
    </message>
    <message>
        <source>Resource update available</source>
        <translation>有可用的资源更新</translation>
    </message>
    <message>
        <source>Resource update available; launcher check unavailable</source>
        <translation>有可用的资源更新；启动器检查不可用</translation>
    </message>
    <message>
        <source>Already the newest version</source>
        <translation>已是最新版本</translation>
    </message>
    <message>
        <source>Downloading updates...</source>
        <translation>正在下载更新...</translation>
    </message>
    <message>
        <source>Update complete</source>
        <translation>更新完成</translation>
    </message>
    <message>
        <source>Update failed</source>
        <translation>更新失败</translation>
    </message>
    <message>
        <source>Transfer paused</source>
        <translation>传输已暂停</translation>
    </message>
    <message>
        <source>Continuing transfer...</source>
        <translation>正在继续传输...</translation>
    </message>
    <message>
        <source>Repairing resources...</source>
        <translation>正在修复资源...</translation>
    </message>
    <message>
        <source>Rolling back changes...</source>
        <translation>正在回滚更改...</translation>
    </message>
    <message>
        <source>Rollback complete</source>
        <translation>回滚完成</translation>
    </message>
    <message>
        <source>Download stopped</source>
        <translation>下载已停止</translation>
    </message>
    <message>
        <source>Get Latest</source>
        <translation>获取最新版本</translation>
    </message>
    <message>
        <source>Repair Resources</source>
        <translation>修复资源</translation>
    </message>
    <message>
        <source>Resource repair may take a long time. Do you want to continue?</source>
        <translation>资源修复可能需要较长时间。是否继续？</translation>
    </message>
    <message>
        <source>Launcher Update Available</source>
        <translation>启动器有可用更新</translation>
    </message>
    <message>
        <source>An update was interrupted</source>
        <translation>更新被中断</translation>
    </message>
    <message>
        <source>An update was interrupted: the working path may hold files of version %1 and of version %2</source>
        <translation>更新被中断：工作路径中可能同时有版本 %1 和版本 %2 的文件</translation>
    </message>
    <message>
        <source>Repairing the working path to the recorded version %1</source>
        <translation>正在将工作路径修复到记录的版本 %1</translation>
    </message>
    <message>
        <source>Finishing the interrupted task to version %1</source>
        <translation>正在完成被中断的任务，目标版本 %1</translation>
    </message>
    <message>
        <source>Resource download blocked: failed to load version %1: %2</source>
        <translation>资源下载被阻止：无法加载版本 %1：%2</translation>
    </message>
    <message>
        <source>Update Interrupted</source>
        <translation>更新被中断</translation>
    </message>
    <message>
        <source>An update was interrupted. A repair of version %1 did not finish, so some files in the working path may be damaged.

The repair will now be finished; the editor cannot be launched until it is.</source>
        <translation>更新被中断。版本 %1 的修复没有完成，工作路径中的部分文件可能已损坏。

现在将完成修复；修复完成前无法启动编辑器。</translation>
    </message>
    <message>
        <source>An update was interrupted. The working path may hold files of version %1 and of version %2, so the editor cannot be launched yet.

Yes: finish the update to version %2.
No: repair the files of version %1.</source>
        <translation>更新被中断。工作路径中可能同时有版本 %1 和版本 %2 的文件，因此暂时无法启动编辑器。

是：完成到版本 %2 的更新。
否：修复版本 %1 的文件。</translation>
    </message>
    <message>
        <source>Repair complete: %1 files restored, %2 already correct</source>
        <translation>修复完成：已恢复 %1 个文件，%2 个文件本已正确</translation>
    </message>
    <message>
        <source>Repair complete with weak replacement skips: %1 files restored, %2 already correct</source>
        <translation>修复完成，但有弱替换文件被跳过：已恢复 %1 个文件，%2 个文件本已正确</translation>
    </message>
    <message>
        <source>Resource repair completed: %1 files restored, %2 already correct</source>
        <translation>资源修复完成：已恢复 %1 个文件，%2 个文件本已正确</translation>
    </message>
    <message>
        <source>Resource repair completed with %1 total weak replacement file(s) skipped: %2 files restored, %3 already correct</source>
        <translation>资源修复完成，共跳过 %1 个弱替换文件：已恢复 %2 个文件，%3 个文件本已正确</translation>
    </message>
    <message>
        <source>The version record could not be written; resource repair is required</source>
        <translation>无法写入版本记录；需要修复资源</translation>
    </message>
    <message>
        <source>Directory reconcile: plan only, nothing changed</source>
        <translation>目录校正：仅显示计划，未做任何更改</translation>
    </message>
</context>
<context>
    <name>OrvelDialogPrompt</name>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>OrvelStartup</name>
    <message>
        <source>The product record named no working path; it is taken as the record of %1</source>
        <translation>产品记录未注明工作路径；将其视为 %1 的记录</translation>
    </message>
    <message>
        <source>The product record belongs to working path %1; %2 has no record yet</source>
        <translation>产品记录属于工作路径 %1；%2 尚无记录</translation>
    </message>
</context>
<context>
    <name>OrvelStoreProbe</name>
    <message>
        <source>host name not found</source>
        <translation>找不到主机名</translation>
    </message>
    <message>
        <source>connection refused</source>
        <translation>连接被拒绝</translation>
    </message>
    <message>
        <source>no answer in time</source>
        <translation>服务器未及时响应</translation>
    </message>
    <message>
        <source>HTTP 404: no store at this address</source>
        <translation>HTTP 404：此地址没有资源仓库</translation>
    </message>
    <message>
        <source>HTTP %1</source>
        <translation>HTTP %1</translation>
    </message>
    <message>
        <source>the answer is not a store</source>
        <translation>服务器的应答不是资源仓库</translation>
    </message>
</context>
<context>
    <name>OrvelVersionCheckWorker</name>
    <message>
        <source>Could not reach the update server: %1; last known version %2</source>
        <translation>无法连接更新服务器：%1；最后已知版本 %2</translation>
    </message>
    <message>
        <source>Could not reach the update server: %1</source>
        <translation>无法连接更新服务器：%1</translation>
    </message>
</context>
</TS>
