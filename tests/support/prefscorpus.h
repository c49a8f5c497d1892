#pragma once
// A profile's Preferences as Chromium 156 writes it (compact, keys in order; made by a headless run, the long
// extension, sync and protection parts cut), grown to about the size asked for with the site settings a long-used
// profile gathers: engagement scores and notification choices of many sites, other origins' entries that the grants
// must leave as they are. Its Local Network Access settings are empty and it has no protocol_handler.
#include <string>

namespace prefscorpus {

inline std::string Realistic(size_t bytes) {
    static const char kSkeleton[] =
        "{\"accessibility\":{\"captions\":{\"headless_caption_enabled\":false}},\"account_tracker_service_last_updat"
        "e\":\"13441217871589539\",\"apps\":{\"shortcuts_arch\":\"\",\"shortcuts_os_version\":\"\",\"shortcuts_version\":0},"
        "\"autocomplete\":{\"retention_policy_last_version\":156},\"autofill\":{\"ai_last_version_deduped\":156,\"auto"
        "fill_ai\":{\"opt_in_status\":{}},\"last_version_deduped\":156},\"bookmark\":{\"storage_computation_last_upda"
        "te\":\"13441217871554476\"},\"browser\":{\"window_placement\":{\"bottom\":590,\"left\":10,\"maximized\":false,\"ri"
        "ght\":790,\"top\":10,\"work_area_bottom\":600,\"work_area_left\":0,\"work_area_right\":800,\"work_area_top\":0}"
        "},\"commerce_daily_metrics_last_update_time\":\"13441217871530187\",\"default_apps_install_state\":3,\"dual"
        "_layer_user_pref_store\":{\"user_selected_sync_types\":[]},\"enterprise_profile_guid\":\"52eabb0c-e21f-477"
        "1-9c67-0535cce38891\",\"extensions\":{\"alerts\":{\"initialized\":true},\"chrome_url_overrides\":{},\"last_chr"
        "ome_version\":\"156.0.8078.129\"},\"gaia_cookie\":{\"periodic_report_time_2\":\"13441217871288924\"},\"gcm\":{\""
        "product_category_for_subtypes\":\"org.chromium.linux\"},\"google\":{\"services\":{\"signin_scoped_device_id\""
        ":\"20c5fd3c-ce4b-4a31-a016-2dc0366b8b7b\"}},\"intl\":{\"selected_languages\":\"en-US,en\"},\"media\":{\"engagem"
        "ent\":{\"schema_version\":5}},\"ntp\":{\"num_personal_suggestions\":1},\"pinned_tabs\":[],\"profile\":{\"avatar_"
        "index\":26,\"content_settings\":{\"exceptions\":{\"abusive_notification_permissions\":{},\"access_to_get_all"
        "_screens_media_in_session\":{},\"anti_abuse\":{},\"app_banner\":{},\"ar\":{},\"are_suspicious_notifications_"
        "allowlisted_by_user\":{},\"auto_picture_in_picture\":{},\"auto_select_certificate\":{},\"automatic_downloa"
        "ds\":{},\"automatic_fullscreen\":{},\"autoplay\":{},\"background_sync\":{},\"bluetooth_chooser_data\":{},\"blu"
        "etooth_guard\":{},\"bluetooth_scanning\":{},\"camera_pan_tilt_zoom\":{},\"captured_surface_control\":{},\"cl"
        "ient_hints\":{},\"clipboard\":{},\"controlled_frame\":{},\"cookie_controls_metadata\":{},\"cookies\":{},\"dire"
        "ct_sockets\":{},\"display_media_system_audio\":{},\"disruptive_notification_permissions\":{},\"durable_sto"
        "rage\":{},\"fedcm_idp_registration\":{},\"fedcm_idp_signin\":{},\"fedcm_share\":{},\"file_system_access_choo"
        "ser_data\":{},\"file_system_access_extended_permission\":{},\"file_system_access_restore_permission\":{},"
        "\"file_system_last_picked_directory\":{},\"file_system_read_guard\":{},\"file_system_write_guard\":{},\"for"
        "mfill_metadata\":{},\"geolocation\":{},\"geolocation_with_options\":{},\"hand_tracking\":{},\"has_migrated_l"
        "ocal_network_access\":true,\"hid_chooser_data\":{},\"hid_guard\":{},\"http_allowed\":{},\"https_enforced\":{}"
        ",\"idle_detection\":{},\"images\":{},\"important_site_info\":{},\"initialized_translations\":{},\"inline_cue_"
        "menu\":{},\"intent_picker_auto_display\":{},\"javascript\":{},\"javascript_jit\":{},\"javascript_optimizer\":"
        "{},\"keyboard_lock\":{},\"legacy_cookie_access\":{},\"legacy_cookie_scope\":{},\"local_fonts\":{},\"local_net"
        "work\":{},\"local_network_access\":{},\"loopback_network\":{},\"media_engagement\":{},\"media_stream_camera\""
        ":{},\"media_stream_mic\":{},\"midi_sysex\":{},\"mixed_script\":{},\"nfc_devices\":{},\"notification_interacti"
        "ons\":{},\"notification_permission_review\":{},\"notifications\":{@N@},\"ondevice_languages_downloaded\":{}"
        ",\"password_protection\":{},\"payment_handler\":{},\"permission_actions_history\":{},\"permission_autoblock"
        "ing_data\":{},\"permission_autorevocation_data\":{},\"pointer_lock\":{},\"popups\":{},\"protocol_handler\":{}"
        ",\"reduced_accept_language\":{},\"safe_browsing_url_check_data\":{},\"sensors\":{},\"serial_chooser_data\":{"
        "},\"serial_guard\":{},\"site_engagement\":{@E@},\"sound\":{},\"speaker_selection\":{},\"ssl_cert_decisions\":{"
        "},\"storage_access\":{},\"sub_apps_without_prompts\":{},\"subresource_filter\":{},\"subresource_filter_data"
        "\":{},\"suspicious_notification_ids\":{},\"suspicious_notification_show_original\":{},\"suspicious_site_wa"
        "rning_data\":{},\"top_level_storage_access\":{},\"unused_site_permissions\":{},\"usb_chooser_data\":{},\"usb"
        "_guard\":{},\"vr\":{},\"web_app_installation\":{},\"webid_api\":{},\"webid_auto_reauthn\":{},\"window_placemen"
        "t\":{}},\"pref_version\":1},\"created_by_version\":\"156.0.8078.129\",\"creation_time\":\"13441217871149816\",\""
        "default_content_setting_values\":{\"has_migrated_local_network_access\":true},\"exit_type\":\"Normal\",\"fam"
        "ily_member_role\":\"not_in_family\",\"last_engagement_time\":\"13441217871765955\",\"managed\":{\"locally_pare"
        "nt_approved_extensions\":{},\"locally_parent_approved_extensions_migration_state\":1},\"managed_user_id\""
        ":\"\",\"name\":\"Your Chromium\",\"password_hash_data_list\":[]},\"profile_network_context_service\":{\"http_ca"
        "che_finch_experiment_groups\":\"None None None None\"},\"safebrowsing\":{\"event_timestamps\":{},\"metrics_l"
        "ast_log_time\":\"13441217871\",\"scout_reporting_enabled_when_deprecated\":false},\"safety_hub\":{\"unused_s"
        "ite_permissions_revocation\":{\"migration_completed\":true}},\"schedule_to_flush_to_disk\":\"1344121787155"
        "4439\",\"segmentation_platform\":{\"uma_in_sql_start_time\":\"13441217871306458\"},\"spellcheck\":{\"dictionar"
        "ies\":[\"en-US\"],\"dictionary\":\"\"},\"syncing_theme_prefs_migrated_to_non_syncing\":true,\"toolbar\":{\"pinne"
        "d_cast_migration_complete\":true,\"pinned_chrome_labs_migration_complete\":true},\"vertical_tabs\":{\"coll"
        "apsed_state\":false,\"uncollapsed_width\":240}}";
    const std::string skeleton = kSkeleton;
    std::string engagement, notifications;
    for (size_t i = 0; skeleton.size() + engagement.size() + notifications.size() < bytes; ++i) {
        const std::string site = "\"https://site" + std::to_string(i) + ".example.com:443,*\":{\"last_modified\":\"1344121" +
                                 std::to_string(7871765977 + i) + "\",\"setting\":";
        if (i) engagement += ',';
        engagement += site + "{\"lastEngagementTime\":1.3441217871765956e+16,\"lastShortcutLaunchTime\":0.0,"
                             "\"pointsAddedToday\":4.5,\"rawScore\":" + std::to_string(i % 97) + ".5}}";
        if (i % 8) continue;
        if (!notifications.empty()) notifications += ',';
        notifications += site + (i % 16 ? "1}" : "2}");
    }
    std::string text = skeleton;
    text.replace(text.find("@N@"), 3, notifications);
    text.replace(text.find("@E@"), 3, engagement);
    return text;
}

}  // namespace prefscorpus
